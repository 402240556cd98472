#pragma once

#include <QDialog>

class MessageList;
class PointerRule;
class QLabel;
class QPushButton;
struct SelectionTarget;

// Where the larger view's controls go for a window of a given outer size.
// Every figure is in twips.
struct LargerViewLayout
{
    int listWidth = 0;
    int listHeight = 0;
    int columnWidth = 0; // each of the five visible columns
    int labelsTop = 0;
    int checkAllTop = 0;
    int byTextTop = 0;
    int clearListTop = 0;
    int backTop = 0;
    int left = 0;  // the left column
    int right = 0; // the right column
};

// The list fills the window but for fixed margins; the buttons form two
// columns centred under it. A window smaller than the margins gets empty
// sizes, never negative ones.
LargerViewLayout largerViewLayout(int windowWidth, int windowHeight, int clearListWidth, int label1Width);

// " List In Larger View": a maximized copy of the main window's list with its
// own selection tools. Only the check marks go back to the main list, by
// position, however the window closes; "Clear List" empties both lists.
class Form4 : public QDialog
{
    Q_OBJECT

public:
    // `mainList` is the main window's list; it must outlive the view.
    Form4(MessageList *mainList, QWidget *owner);

    bool TextCheckApplied = false;

    void Form_Load();
    void Form_Resize();
    // Runs however the window closes.
    void Form_Unload();
    void UpdateCounters(bool Reset);
    qint32 CountCheckedItems();

    MessageList *ListView1;
    QLabel *Label1, *Label2;
    QPushButton *PushButton5, *PushButton6, *PushButton9, *PushButton10, *PushButton7, *PushButton1, *PushButton4;

public slots:
    // A row's check box was toggled by the user.
    void ListView1_ItemCheck(int position);
    // "Maximize This Window"
    void PushButton1_Click();
    // "< Back"
    void PushButton4_Click();
    // "Check All"
    void PushButton5_Click();
    // "Uncheck All"
    void PushButton6_Click();
    // "Clear List"
    void PushButton7_Click();
    // "Check Emails Containing..."
    void PushButton9_Click();
    // "Check Emails Not Containing..."
    void PushButton10_Click();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void done(int result) override;

private:
    void createControls();
    SelectionTarget selectionTarget();

    MessageList *m_mainList;
    PointerRule *m_pointer;
    bool m_unloaded = false;
};
