#include "app/textfilewriter.h"

#include <QSaveFile>

#include "app/errortrap.h"

TextFileWriter::TextFileWriter() = default;

TextFileWriter::~TextFileWriter()
{
    discard();
}

void TextFileWriter::open(const QString &path)
{
    discard();
    m_writeFailed = false;
    m_openFailure.clear();
    auto file = std::make_unique<QSaveFile>(path);
    if (path.isEmpty() || !file->open(QIODevice::WriteOnly)) {
        m_openFailure = path.isEmpty() ? QStringLiteral("Bad file name or number") : file->errorString();
        throw AppError(m_openFailure);
    }
    m_file = std::move(file);
}

void TextFileWriter::write(const QString &text)
{
    if (!m_file)
        throw AppError(m_openFailure.isEmpty() ? QStringLiteral("Bad file name or number") : m_openFailure);
    const QByteArray bytes = text.toUtf8();
    if (m_file->write(bytes) != bytes.size()) {
        m_writeFailed = true;
        throw AppError(m_file->errorString());
    }
}

void TextFileWriter::close()
{
    if (!m_file)
        return;
    if (m_writeFailed) {
        discard();
        return;
    }
    std::unique_ptr<QSaveFile> file = std::move(m_file);
    // Data still buffered is flushed here, so a full disk can surface now.
    if (!file->commit())
        throw AppError(file->errorString());
}

void TextFileWriter::discard()
{
    if (!m_file)
        return;
    m_file->cancelWriting();
    m_file.reset();
}
