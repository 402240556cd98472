#include "tests/support/scriptedboxes.h"

#include <algorithm>

BoxAnswer ScriptedBoxes::message(const QString &title, const QString &text, BoxIcon icon, BoxButtons buttons)
{
    RecordedBox box{RecordedBox::Message, title, text, icon, buttons};
    shown.push_back(box);
    if (onShow)
        onShow(box);
    if (buttons == BoxButtons::Ok)
        return BoxAnswer::Ok;
    if (answers.empty())
        return BoxAnswer::No;
    const BoxAnswer answer = answers.front();
    answers.pop_front();
    return answer;
}

std::optional<QString> ScriptedBoxes::input(const QString &title, const QString &prompt, const QString &)
{
    RecordedBox box{RecordedBox::Input, title, prompt, BoxIcon::None, BoxButtons::Ok};
    shown.push_back(box);
    if (onShow)
        onShow(box);
    if (inputs.empty())
        return std::nullopt;
    const bool cancelled = !inputs.front().has_value();
    const QString text = inputs.front().value_or(QString());
    inputs.pop_front();
    if (cancelled)
        return std::nullopt;
    return text;
}

QString ScriptedBoxes::chooseFolder(QWidget *, const QString &title, const QString &)
{
    RecordedBox box{RecordedBox::Folder, QString(), title, BoxIcon::None, BoxButtons::Ok};
    shown.push_back(box);
    if (onShow)
        onShow(box);
    if (folders.empty())
        return QString();
    const QString folder = folders.front();
    folders.pop_front();
    return folder;
}

std::vector<QString> ScriptedBoxes::texts() const
{
    std::vector<QString> result;
    for (const RecordedBox &box : shown)
        result.push_back(box.text);
    return result;
}

int ScriptedBoxes::count(const QString &text) const
{
    return int(std::count_if(shown.begin(), shown.end(), [&](const RecordedBox &box) { return box.text == text; }));
}

ScriptedBoxesScope::ScriptedBoxesScope()
{
    auto boxes = std::make_unique<ScriptedBoxes>();
    m_boxes = boxes.get();
    m_previous = installBoxes(std::move(boxes));
}

ScriptedBoxesScope::~ScriptedBoxesScope()
{
    installBoxes(std::move(m_previous));
}
