// The studio's Tools menu opens the sound bank editor.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTimer>

#include "studio/shell/tests/studio_fixture.h"
#include "studio/soundbank/sdt_editor.h"

namespace kestrel::studio::testing {
namespace {

// The studio's menu command shows the one editor modally; it shares the studio's folders.
class SdtEditorMenuTest : public StudioTest {};

TEST_F(SdtEditorMenuTest, ToolsMenuShowsTheEditorModally) {
  Start();
  W().Settings().MASInitialDir = QStringLiteral("/banks/");
  auto* editor = W().findChild<TFKestrelSDT*>(QStringLiteral("FKestrelSDT"));
  ASSERT_NE(editor, nullptr);
  EXPECT_FALSE(editor->isVisible());
  bool shownModally = false;
  QTimer::singleShot(0, editor, [&] {
    shownModally = QApplication::activeModalWidget() == editor;
    dialogs_.fileAnswers.push_back(QString());
    editor->BLoad->click();
    editor->BClose->click();
  });
  W().SDTEditor1->trigger();
  EXPECT_TRUE(shownModally);
  EXPECT_FALSE(editor->isVisible());
  ASSERT_EQ(dialogs_.fileRequests.size(), 1u);
  EXPECT_EQ(dialogs_.fileRequests[0].startDirectory, "/banks/");
}

}  // namespace
}  // namespace kestrel::studio::testing
