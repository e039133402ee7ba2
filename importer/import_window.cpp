#include "importer/import_window.h"

#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace palvane::importer {

namespace {

QString counted(qint64 n, const char* one, const char* many) {
    return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}

} // namespace

ImportWindow::ImportWindow(const QString& file, const QString& table, QWidget* parent)
    : Centred<QDialog>(parent), file_(file), table_(table), job_(file, table) {
    setWindowTitle(QStringLiteral("Import contacts"));
    setMinimumWidth(480);
    resize(640, 360); // room for a few warnings without scrolling sideways

    status_ = new QLabel(this);
    status_->setWordWrap(true);
    status_->setTextFormat(Qt::PlainText);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    progress_ = new QProgressBar(this);
    progress_->setAccessibleName(QStringLiteral("Progress"));
    warningsCaption_ = new QLabel(QStringLiteral("Warnings:"), this);
    warnings_ = new QPlainTextEdit(this);
    warnings_->setReadOnly(true);
    warnings_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    warnings_->setAccessibleName(QStringLiteral("Warnings"));
    warningsCaption_->setBuddy(warnings_);
    warningsCaption_->hide();
    warnings_->hide();
    buttons_ = new QDialogButtonBox(QDialogButtonBox::Cancel, this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(status_);
    layout->addWidget(progress_);
    layout->addWidget(warningsCaption_);
    layout->addWidget(warnings_, 1);
    layout->addWidget(buttons_);

    status_->setText(QStringLiteral("Importing contacts…\nFile: %1\nTable: %2").arg(file_, table_));
    progress_->setRange(0, 0); // busy until the first report of progress

    connect(buttons_, &QDialogButtonBox::rejected, this, &ImportWindow::reject);
    connect(&job_, &ImportJob::progressed, this, &ImportWindow::showProgress);
    connect(&job_, &ImportJob::warned, this, &ImportWindow::addWarning);
    connect(&job_, &ImportJob::finished, this, &ImportWindow::showOutcome);
}

void ImportWindow::start() {
    job_.start();
}

QString ImportWindow::statusText() const {
    return status_->text();
}

QString ImportWindow::warningsText() const {
    return warnings_->toPlainText();
}

void ImportWindow::showProgress(qint64 contacts, double fraction) {
    if (fraction >= 0) {
        progress_->setRange(0, 1000);
        progress_->setValue(int(std::clamp(fraction, 0.0, 1.0) * 1000));
    }
    progress_->setFormat(counted(contacts, "contact", "contacts"));
}

void ImportWindow::addWarning(const QString& text) {
    if (warnings_->isHidden()) {
        warningsCaption_->show();
        warnings_->show();
    }
    warnings_->appendPlainText(text);
}

void ImportWindow::showOutcome(const ImportOutcome& outcome) {
    outcome_ = outcome;
    done_ = true;
    if (outcome.warnings > ImportJob::kMaxWarningsSent)
        addWarning(QStringLiteral("… and %1 more")
                       .arg(counted(outcome.warnings - ImportJob::kMaxWarningsSent, "warning",
                                    "warnings")));
    if (outcome.warnings > 0)
        warningsCaption_->setText(counted(outcome.warnings, "warning:", "warnings:"));
    progress_->hide();
    status_->setText(resultText(outcome));
    buttons_->setStandardButtons(QDialogButtonBox::Close);
    buttons_->button(QDialogButtonBox::Close)->setDefault(true);
    buttons_->button(QDialogButtonBox::Close)->setFocus();
}

QString ImportWindow::resultText(const ImportOutcome& outcome) const {
    QString head;
    switch (outcome.result) {
    case ImportOutcome::Imported:
        head = outcome.contacts == 0
                   ? QStringLiteral("The file holds no contacts: the table is unchanged.")
                   : QStringLiteral("Imported %1.")
                         .arg(counted(outcome.contacts, "contact", "contacts"));
        if (outcome.inNotes > 0)
            head += QStringLiteral(" %1 the table has no field for went to the notes.")
                        .arg(counted(outcome.inNotes, "value", "values"));
        break;
    case ImportOutcome::Failed:
        head = QStringLiteral("Nothing was imported: %1").arg(outcome.error);
        break;
    case ImportOutcome::Cancelled:
        head = QStringLiteral("The import was cancelled: nothing was imported.");
        break;
    }
    return QStringLiteral("%1\nFile: %2\nTable: %3").arg(head, file_, table_);
}

void ImportWindow::closeEvent(QCloseEvent* event) {
    if (!done_) {
        cancel();
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void ImportWindow::reject() {
    if (!done_) {
        cancel();
        return;
    }
    QDialog::reject();
}

void ImportWindow::cancel() {
    // The window stays until the import has ended, to say how it ended.
    job_.cancel();
    if (QPushButton* button = buttons_->button(QDialogButtonBox::Cancel))
        button->setEnabled(false);
    status_->setText(QStringLiteral("Cancelling…\nFile: %1\nTable: %2").arg(file_, table_));
}

} // namespace palvane::importer
