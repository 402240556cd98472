#include "mainwindow/form1.h"

#include "app/errortrap.h"
#include "dialogs/form4.h"
#include "mainwindow/messagelist.h"

// "Show List In Larger View"
void Form1::PushButton12_Click()
{
    ErrorTrap trap("Form1", "PushButton12_Click");
    const qint32 count = trap.value<qint32>(100, [&] { return qint32(ListView1->rowCount()); }, 0);
    // Creating the view runs its load handler before the first row is copied.
    Form4 view(ListView1, this);
    // The copies share the main rows' texts rather than decoding and encoding them.
    for (qint32 position = 0; position < count; ++position) {
        MessageRow copy;
        trap.run(102, [&] { copy.record = -1; });
        trap.run(104, [&] { copy.texts[0] = ListView1->row(position).texts[0]; });
        for (int column = 1; column <= 5; ++column)
            trap.run(104 + 2 * column,
                     [&] { copy.texts[size_t(column)] = ListView1->row(position).texts[size_t(column)]; });
        trap.run(116, [&] { copy.checked = ListView1->isChecked(position); });
        view.ListView1->addRow(std::move(copy));
    }
    trap.run(118, [&] { view.setWindowState(Qt::WindowMaximized); });
    trap.run(120, [&] { view.exec(); });
    trap.run(122, [&] { UpdateCounters(false); });
}
