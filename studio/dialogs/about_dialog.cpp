#include "studio/dialogs/about_dialog.h"

#include <QFrame>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "studio/desktop/kestrel_icon.h"

namespace kestrel::studio {

TFKestrelAbout::TFKestrelAbout(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("FKestrelAbout"));
  setWindowTitle(tr("About Kestrel"));
  setModal(true);

  auto* icon = new QLabel(this);
  icon->setObjectName(QStringLiteral("IKestrel"));
  icon->setPixmap(QPixmap::fromImage(DrawKestrelIcon(64)));
  icon->setAccessibleName(tr("Kestrel icon"));
  icon->setAlignment(Qt::AlignTop);

  LAuthor = new QLabel(tr("The Kestrel kit developers"), this);
  LDate = new QLabel(QString::fromLatin1(kAboutDate), this);
  LVersion = new QLabel(QString::fromLatin1(kAboutVersion), this);
  LThanks = new QLabel(tr("Everyone who modded the games, tried the kit on their archives\n"
                          "and told us what it got wrong."),
                       this);
  struct Row {
    const char* caption;
    QLabel* value;
    const char* name;
  };
  const Row rows[] = {{"Author : ", LAuthor, "LAuthor"},
                      {"Date : ", LDate, "LDate"},
                      {"Version : ", LVersion, "LVersion"},
                      {"Thanks :", LThanks, "LThanks"}};
  auto* grid = new QGridLayout;
  for (int i = 0; i < 4; ++i) {
    auto* caption = new QLabel(tr(rows[i].caption), this);
    caption->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    rows[i].value->setObjectName(QString::fromLatin1(rows[i].name));
    rows[i].value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(caption, i, 0);
    grid->addWidget(rows[i].value, i, 1);
  }
  auto* top = new QHBoxLayout;
  top->addWidget(icon);
  top->addSpacing(8);
  top->addLayout(grid, 1);

  auto* rule = new QFrame(this);
  rule->setObjectName(QStringLiteral("Bevel1"));
  rule->setFrameShape(QFrame::HLine);
  rule->setFrameShadow(QFrame::Sunken);

  BOK = new QPushButton(tr("OK"), this);
  BOK->setObjectName(QStringLiteral("BOK"));
  BOK->setDefault(true);
  connect(BOK, &QPushButton::clicked, this, &QDialog::accept);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(BOK);
  buttons->addStretch(1);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(rule);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  adjustSize();
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect frame(QPoint(0, 0), size());
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
}

}  // namespace kestrel::studio
