#include "studio/qt_common/application_error_dialog.h"

#include <cxxabi.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <typeinfo>

#include "archive/file_error.h"
#include "studio/qt_common/studio_application.h"
#include "studio/qt_common/studio_dialogs.h"

namespace kestrel::studio {

namespace {

// Room beside a caption in the title bar: the window's icon and its buttons.
constexpr int kTitleBarAllowance = 100;
constexpr int kNarrowestText = 360;

bool IsSeparator(QChar c) { return c == QLatin1Char('/') || c == QLatin1Char('\\'); }

// `word` in pieces no wider than `width`, each ending after a folder separator; a piece without
// any separator to break at stays whole, however wide.
QStringList PiecesOf(const QString& word, const QFontMetrics& metrics, int width) {
  QStringList pieces;
  QString piece;
  qsizetype lastBreak = -1;  // in `piece`, the length up to its last separator
  for (const QChar c : word) {
    piece += c;
    if (metrics.horizontalAdvance(piece) > width && lastBreak > 0) {
      pieces << piece.left(lastBreak);
      piece = piece.mid(lastBreak);
      lastBreak = -1;
      for (qsizetype i = 0; i < piece.size(); ++i)
        if (IsSeparator(piece[i])) lastBreak = i + 1;
    }
    if (IsSeparator(c)) lastBreak = piece.size();
  }
  if (!piece.isEmpty()) pieces << piece;
  return pieces;
}

}  // namespace

QString WrapMessage(const QString& message, const QFontMetrics& metrics, int width) {
  QStringList lines;
  QString text = message;
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  for (const QString& paragraph : text.split(QLatin1Char('\n'))) {
    QString line;
    for (const QString& word : paragraph.split(QLatin1Char(' '))) {
      const QStringList pieces = PiecesOf(word, metrics, width);
      for (qsizetype i = 0; i < pieces.size(); ++i) {
        const QString joined = line.isEmpty() ? pieces[i] : line + (i == 0 ? QStringLiteral(" ") : QString()) + pieces[i];
        if (line.isEmpty() || metrics.horizontalAdvance(joined) <= width) {
          line = joined;
        } else {
          lines << line;
          line = pieces[i];
        }
      }
      if (pieces.isEmpty() && !line.isEmpty()) line += QLatin1Char(' ');  // two spaces in a row
    }
    lines << line;
  }
  return lines.join(QLatin1Char('\n'));
}

ApplicationErrorDialog::ApplicationErrorDialog(const QString& caption, const QString& message, const QString& details,
                                               QWidget* parent)
    : QDialog(parent) {
  setObjectName(QStringLiteral("ApplicationErrorDialog"));
  setWindowTitle(caption);

  auto* icon = new QLabel(this);
  icon->setObjectName(QStringLiteral("IError"));
  icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxCritical).pixmap(32, 32));
  icon->setAccessibleName(tr("Error"));

  // Wide enough for the whole caption and, up to most of the screen, for the longest word of the
  // message, a path as a rule: the text is broken at spaces, and a path too long for any line
  // only after one of its folder separators, never inside a name.
  QFont titleFont = font();
  titleFont.setBold(true);
  int limit = 1000;
  if (const QScreen* screen = QGuiApplication::primaryScreen()) limit = screen->availableGeometry().width() * 3 / 4;
  const QFontMetrics metrics = fontMetrics();
  int width = std::max(kNarrowestText, QFontMetrics(titleFont).horizontalAdvance(caption) + kTitleBarAllowance);
  for (const QString& word : QString(message).replace(QLatin1Char('\n'), QLatin1Char(' ')).split(QLatin1Char(' ')))
    width = std::max(width, metrics.horizontalAdvance(word.trimmed()));
  width = std::min(width, std::max(limit, kNarrowestText));
  auto* text = new QLabel(WrapMessage(message, metrics, width), this);
  text->setObjectName(QStringLiteral("LMessage"));
  text->setTextFormat(Qt::PlainText);
  text->setTextInteractionFlags(Qt::TextSelectableByMouse);
  text->setMinimumWidth(width);
  text->setAccessibleName(message);

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* ok = buttons->addButton(QDialogButtonBox::Ok);
  ok->setObjectName(QStringLiteral("BOK"));
  details_button_ = buttons->addButton(tr("&Details >>"), QDialogButtonBox::ActionRole);
  details_button_->setObjectName(QStringLiteral("BDetails"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(details_button_, &QPushButton::clicked, this, &ApplicationErrorDialog::BDetailsClick);

  report_ = new QPlainTextEdit(details, this);
  report_->setObjectName(QStringLiteral("MReport"));
  report_->setReadOnly(true);
  report_->setAccessibleName(tr("Details"));
  // Its lines name files and folders: they scroll sideways rather than break inside a name.
  report_->setLineWrapMode(QPlainTextEdit::NoWrap);
  report_->setVisible(false);

  auto* top = new QHBoxLayout;
  top->addWidget(icon, 0, Qt::AlignTop);
  top->addWidget(text, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(buttons);
  layout->addWidget(report_);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  report_->setMinimumSize(440, 160);
}

bool ApplicationErrorDialog::DetailsShown() const { return !report_->isHidden(); }

void ApplicationErrorDialog::BDetailsClick() {
  const bool show = report_->isHidden();
  report_->setVisible(show);
  details_button_->setText(show ? tr("&Details <<") : tr("&Details >>"));
}

QString ApplicationErrorCaption(const QString& applicationTitle) {
  return applicationTitle + QStringLiteral(" - application error");
}

namespace {

QString Demangled(const char* name) {
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> readable(abi::__cxa_demangle(name, nullptr, nullptr, &status), std::free);
  return QString::fromLatin1(status == 0 && readable ? readable.get() : name);
}

}  // namespace

ErrorDescription DescribeException(std::exception_ptr error, const QString& where) {
  ErrorDescription out;
  QString kind = QStringLiteral("unknown exception");
  QString extra;
  try {
    if (error) std::rethrow_exception(error);
  } catch (const EInOutError& e) {
    out.message = QString::fromLocal8Bit(e.what());
    kind = Demangled(typeid(e).name());
    extra = QStringLiteral("File: %1\nError code: %2\n").arg(QString::fromLocal8Bit(e.Path())).arg(e.Code());
  } catch (const std::exception& e) {
    out.message = QString::fromLocal8Bit(e.what());
    kind = Demangled(typeid(e).name());
  } catch (...) {
    out.message = QStringLiteral("An unknown error occurred.");
  }
  if (out.message.isEmpty()) out.message = kind;

  out.details = QStringLiteral("Error: %1\nMessage: %2\n%3While: %4\nProgram: %5\nQt: %6\nTime: %7\n")
                    .arg(kind, out.message, extra, where.isEmpty() ? QStringLiteral("(event loop)") : where,
                         QCoreApplication::applicationFilePath(), QString::fromLatin1(qVersion()),
                         QDateTime::currentDateTime().toString(Qt::ISODate));
  return out;
}

void ReportUnhandledError(StudioDialogs& dialogs, const QString& where) {
  const ErrorDescription description = DescribeException(std::current_exception(), where);
  dialogs.ShowApplicationError(ApplicationErrorCaption(ApplicationTitle()), description.message,
                               description.details);
}

}  // namespace kestrel::studio
