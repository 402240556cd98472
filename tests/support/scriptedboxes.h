#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "app/boxes.h"

// A box the program showed, as the scripted stand-in recorded it.
struct RecordedBox
{
    enum Kind { Message, Input, Folder };
    Kind kind = Message;
    QString title;
    QString text; // message text, input prompt or folder-picker title
    BoxIcon icon = BoxIcon::None;
    BoxButtons buttons = BoxButtons::Ok;
};

// Answers every box from a script instead of showing it. Unscripted boxes get
// OK, No, Cancel or "" so no test ever waits on a modal loop.
class ScriptedBoxes : public Boxes
{
public:
    BoxAnswer message(const QString &title, const QString &text, BoxIcon icon, BoxButtons buttons) override;
    std::optional<QString> input(const QString &title, const QString &prompt, const QString &defaultAnswer) override;
    QString chooseFolder(QWidget *owner, const QString &title, const QString &startFolder) override;

    std::vector<RecordedBox> shown;
    std::deque<BoxAnswer> answers;               // for Yes/No boxes
    std::deque<std::optional<QString>> inputs;   // nullopt = Cancel
    std::deque<QString> folders;                 // "" = Cancel
    // Runs while a box is "open", e.g. to click Stop from inside a listing.
    std::function<void(const RecordedBox &)> onShow;

    std::vector<QString> texts() const;
    int count(const QString &text) const;
};

// Installs a ScriptedBoxes for the lifetime of the scope and restores the old one.
class ScriptedBoxesScope
{
public:
    ScriptedBoxesScope();
    ~ScriptedBoxesScope();
    ScriptedBoxes *operator->() { return m_boxes; }
    ScriptedBoxes &operator*() { return *m_boxes; }

private:
    ScriptedBoxes *m_boxes;
    std::unique_ptr<Boxes> m_previous;
};
