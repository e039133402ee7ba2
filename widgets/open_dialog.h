#pragma once
// The picture chooser. Its FileName is the current picture path of the main window: the
// dialog opens pre-filled with it and a chosen file replaces it.
//
// Execute() is modal and changes FileName only when the user chooses a file: a cancelled
// dialog leaves it as it was. It touches no file itself, so it cannot fail.

#include <QObject>
#include <QString>

#include <optional>

class QWidget;

namespace palvane {

class OpenDialog : public QObject {
    Q_OBJECT

public:
    explicit OpenDialog(QObject* parent = nullptr);

    QString FileName;
    QString Filter = QStringLiteral("Image File (*.bmp)");

    // Runs the dialog; true with FileName set to the chosen full path, false when cancelled.
    bool Execute(QWidget* parent);
};

// Test seam: the next Execute() answers with this file name (nullopt = Cancel) without a
// window. One answer per call.
namespace open_dialog_seam {
void setNextAnswer(std::optional<QString> fileName);
void clear();
} // namespace open_dialog_seam

} // namespace palvane
