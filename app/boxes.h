#pragma once

#include <memory>
#include <optional>

#include <QString>

class QWidget;

enum class BoxIcon { None, Warning };
enum class BoxButtons { Ok, YesNo };
enum class BoxAnswer { Ok, Yes, No };

// Every modal question the program asks (message boxes, the input box, the
// folder picker) goes through one Boxes object, so tests can answer them
// without a modal loop ever blocking.
class Boxes
{
public:
    virtual ~Boxes() = default;
    virtual BoxAnswer message(const QString &title, const QString &text, BoxIcon icon, BoxButtons buttons) = 0;
    // std::nullopt when the user cancels.
    virtual std::optional<QString> input(const QString &title, const QString &prompt, const QString &defaultAnswer) = 0;
    // The chosen directory, or "" when the user cancels.
    virtual QString chooseFolder(QWidget *owner, const QString &title, const QString &startFolder) = 0;
};

// The QMessageBox / QInputDialog / QFileDialog implementation.
class WidgetBoxes : public Boxes
{
public:
    BoxAnswer message(const QString &title, const QString &text, BoxIcon icon, BoxButtons buttons) override;
    std::optional<QString> input(const QString &title, const QString &prompt, const QString &defaultAnswer) override;
    QString chooseFolder(QWidget *owner, const QString &title, const QString &startFolder) override;
};

Boxes &boxes();
// Replaces the program's Boxes (tests install a scripted one). Returns the old one.
std::unique_ptr<Boxes> installBoxes(std::unique_ptr<Boxes> replacement);

// The caption of every box that names no title of its own.
QString applicationTitle();
void setApplicationTitle(const QString &title);
// The product name shortened word by word: the last word always goes, then
// further words while the text is longer than 40 characters.
QString shortenedProductName(const QString &productName);

// Plain information box: OK only, no icon, the application title.
void showMessage(const QString &text);
// Yes/No box, no icon, the application title. True for Yes.
bool askYesNo(const QString &text);
// The input box with the application title; cancel gives "".
QString inputBox(const QString &prompt, const QString &defaultAnswer = QString());
