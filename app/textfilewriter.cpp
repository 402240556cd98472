#include "app/textfilewriter.h"

#include <cerrno>
#include <cstring>

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
    // Unbuffered: a write the disk refuses fails in write(), where it is told,
    // rather than in the flush at commit, which can leave a short file in place.
    if (path.isEmpty() || !file->open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
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
    // A short write carries no reason ("Unknown error"); writing the rest
    // makes the system refuse it and say why (no space, file too large).
    for (qint64 done = 0; done < bytes.size();) {
        const qint64 written = m_file->write(bytes.constData() + done, bytes.size() - done);
        if (written <= 0) {
            m_writeFailed = true;
            throw AppError(m_file->errorString());
        }
        done += written;
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
    // Syncing and renaming can still fail here (a full disk, a vanished folder).
    if (!file->commit()) {
        const int cause = errno;
        const QString reason = file->errorString();
        throw AppError(file->error() == QFileDevice::NoError || reason == QLatin1String("Unknown error")
                           ? QString::fromLocal8Bit(std::strerror(cause))
                           : reason);
    }
}

void TextFileWriter::discard()
{
    if (!m_file)
        return;
    m_file->cancelWriting();
    m_file.reset();
}
