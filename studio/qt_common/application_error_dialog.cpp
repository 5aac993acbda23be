#include "studio/qt_common/application_error_dialog.h"

#include <cxxabi.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>
#include <cstdlib>
#include <memory>
#include <typeinfo>

#include "archive/file_error.h"
#include "studio/qt_common/studio_application.h"
#include "studio/qt_common/studio_dialogs.h"

namespace kestrel::studio {

ApplicationErrorDialog::ApplicationErrorDialog(const QString& caption, const QString& message, const QString& details,
                                               QWidget* parent)
    : QDialog(parent) {
  setObjectName(QStringLiteral("ApplicationErrorDialog"));
  setWindowTitle(caption);

  auto* icon = new QLabel(this);
  icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxCritical).pixmap(32, 32));
  auto* text = new QLabel(message, this);
  text->setObjectName(QStringLiteral("LMessage"));
  text->setTextFormat(Qt::PlainText);
  text->setWordWrap(true);
  text->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* ok = buttons->addButton(QDialogButtonBox::Ok);
  ok->setObjectName(QStringLiteral("BOK"));
  details_button_ = buttons->addButton(tr("Details >>"), QDialogButtonBox::ActionRole);
  details_button_->setObjectName(QStringLiteral("BDetails"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(details_button_, &QPushButton::clicked, this, &ApplicationErrorDialog::BDetailsClick);

  report_ = new QPlainTextEdit(details, this);
  report_->setObjectName(QStringLiteral("MReport"));
  report_->setReadOnly(true);
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
  details_button_->setText(show ? tr("Details <<") : tr("Details >>"));
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
