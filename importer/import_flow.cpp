#include "importer/import_flow.h"

#include "importer/import_window.h"
#include "store/table.h"
#include "tools/contacts_format.h"
#include "widgets/centred_window.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

namespace palvane::importer {

namespace {

const QString kTitle = QStringLiteral("Import contacts");

std::optional<QStringList>& nextChosen() {
    static std::optional<QStringList> files;
    return files;
}

// A file manager may hand over file: URLs; everything else is a path.
QString localPath(const QString& argument) {
    const QUrl url(argument);
    const QString path = url.isLocalFile() ? url.toLocalFile() : argument;
    return QFileInfo(path).absoluteFilePath();
}

bool confirm(const QString& file, const QString& table, bool tableIsNew) {
    Centred<QMessageBox> box(QMessageBox::Question, kTitle,
                             confirmationText(file, table, tableIsNew));
    QPushButton* import = box.addButton(QStringLiteral("&Import"), QMessageBox::AcceptRole);
    box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(import);
    box.exec();
    return box.clickedButton() == import;
}

void showFailure(const QString& text) {
    Centred<QMessageBox> box(QMessageBox::Critical, kTitle, text, QMessageBox::Close);
    box.exec();
}

} // namespace

QString confirmationText(const QString& file, const QString& table, bool tableIsNew) {
    return QStringLiteral("Import the contacts of this file into this contact table?\n\n"
                          "File: %1\nTable: %2\n\n%3")
        .arg(file, table,
             tableIsNew ? QStringLiteral("The table does not exist yet; it will be created.")
                        : QStringLiteral("They are added to the contacts already there."));
}

int importFiles(const QStringList& files, const tool::TableLocation& location) {
    const QString table = QFileInfo(location.table).absoluteFilePath();
    int status = 0;
    for (const QString& argument : files) {
        const QString file = localPath(argument);
        const bool tableIsNew = location.perUser && !QFileInfo::exists(table);
        if (!confirm(file, table, tableIsNew))
            continue;
        try {
            tool::createUserTableIfMissing(location);
        } catch (const TableError& error) {
            showFailure(QStringLiteral("Nothing was imported: %1").arg(error.message()));
            return 1;
        } catch (const tool::ToolError& error) {
            showFailure(QStringLiteral("Nothing was imported: %1").arg(error.message()));
            return 1;
        }
        ImportWindow window(file, table);
        window.start();
        window.exec();
        if (window.outcome().result != ImportOutcome::Imported)
            status = 1;
    }
    return status;
}

QStringList chooseFiles() {
    if (nextChosen()) {
        const QStringList files = *nextChosen();
        nextChosen().reset();
        return files;
    }
    return QFileDialog::getOpenFileNames(nullptr, kTitle, QDir::homePath(),
                                         QStringLiteral("Contact files (*.vcf *.vcard *.csv);;"
                                                        "All files (*)"));
}

namespace chooser_seam {
void setNextAnswer(const QStringList& files) {
    nextChosen() = files;
}
void clear() {
    nextChosen().reset();
}
} // namespace chooser_seam

} // namespace palvane::importer
