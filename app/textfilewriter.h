#pragma once

#include <memory>

#include <QString>

class QSaveFile;

// Writes one text file as UTF-8 without a byte-order mark. The text goes to a
// temporary file beside the target, which takes the target's place only when
// close() finds everything written: a failed or abandoned file never looks
// complete, and an existing file is replaced whole. Failures throw AppError
// with the platform's description.
class TextFileWriter
{
public:
    TextFileWriter();
    ~TextFileWriter(); // an unclosed file is discarded
    TextFileWriter(const TextFileWriter &) = delete;
    TextFileWriter &operator=(const TextFileWriter &) = delete;

    void open(const QString &path);
    // Fails when the file is not open, with the reason the open failed.
    void write(const QString &text);
    // Puts the file in place. Closing a file that is not open does nothing;
    // a file whose write failed is discarded, as that failure was reported.
    void close();
    void discard();
    bool isOpen() const { return m_file != nullptr; }
    // A write failed since open(): close() will discard the file.
    bool writeFailed() const { return m_writeFailed; }

private:
    std::unique_ptr<QSaveFile> m_file;
    QString m_openFailure;
    bool m_writeFailed = false;
};
