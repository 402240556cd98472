#pragma once

#include <QString>

class QWidget;

// FilterCharacters counts positions in 16 bits.
inline constexpr int kLongestFilteredText = 32767;
// ShortenFileName keeps this many characters.
inline constexpr int kLongestFileName = 200;

// The characters a saved file's name may hold: ASCII letters, digits, hyphen
// and space. Everything else (accents, punctuation, path separators) goes.
inline const QString FileNameCharacters =
    QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789- ");

// The folder picker, modal to `owner`. The chosen folder without a trailing
// separator (the root "/" excepted), or "" when the user cancels.
QString BrowseForFolder(QWidget *owner, const QString &title, const QString &start);
// True only when the path names an existing directory; every failure is False.
bool FolderExists(const QString &path);
// The characters of `text` that are in `set` (keep) or not in it (!keep), in
// their order, compared exactly. Positions are counted in 16 bits, so a text
// over 32,767 characters throws AppError ("Overflow").
QString FilterCharacters(const QString &text, const QString &set, bool keep);
QString SafeFileName(const QString &text);
// The first 200 characters.
QString ShortenFileName(const QString &text);
