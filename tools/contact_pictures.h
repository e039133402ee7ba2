#pragma once
// Pictures embedded in contact files, written beside the table: the table stores a picture's
// path, and the program shows bitmaps, so an embedded JPEG, PNG, GIF or BMP becomes a .bmp file
// in the directory "pictures" beside the table, named after the contact and the picture's
// content (the same picture imported twice is one file). An import that fails removes the
// files it made.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace palvane::tool {

// The directory "pictures" beside the table file, as an absolute path.
QString picturesBeside(const QString& tablePath);

class PictureStore {
public:
    explicit PictureStore(const QString& directory);
    // Removes the files written since construction unless keep() was called.
    ~PictureStore();
    PictureStore(const PictureStore&) = delete;
    PictureStore& operator=(const PictureStore&) = delete;

    // The absolute path of the stored picture; an empty string and the reason in *problem when
    // the bytes are no picture or the file cannot be written.
    QString store(const QByteArray& bytes, const QString& nick, QString* problem);
    // The import is complete: the files stay.
    void keep() { made_.clear(); }

private:
    QString directory_;
    QStringList made_;
};

} // namespace palvane::tool
