#pragma once
// The window of one import: what is imported into which table and how far it has come, with
// Cancel; then what came in and every warning, with Close.
//
// Closing it while the import runs cancels the import and waits for it to end, so that the
// window always tells how it ended.

#include "importer/import_job.h"
#include "widgets/centred_window.h"

#include <QDialog>

class QDialogButtonBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;

namespace palvane::importer {

class ImportWindow : public Centred<QDialog> {
    Q_OBJECT

public:
    ImportWindow(const QString& file, const QString& table, QWidget* parent = nullptr);

    // Starts the import; exec() or show() the window to see it.
    void start();
    bool isDone() const { return done_; }
    const ImportOutcome& outcome() const { return outcome_; }

    // The text said about the import now (also what a screen reader reads).
    QString statusText() const;
    QString warningsText() const;

    // Cancel, Escape and closing the window while the import runs cancel it.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void cancel();
    void showProgress(qint64 contacts, double fraction);
    void addWarning(const QString& text);
    void showOutcome(const ImportOutcome& outcome);
    QString resultText(const ImportOutcome& outcome) const;

    QString file_;
    QString table_;
    ImportJob job_;
    ImportOutcome outcome_;
    bool done_ = false;
    QLabel* status_;
    QProgressBar* progress_;
    QLabel* warningsCaption_;
    QPlainTextEdit* warnings_;
    QDialogButtonBox* buttons_;
};

} // namespace palvane::importer
