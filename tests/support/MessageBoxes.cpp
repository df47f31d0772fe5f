#include "MessageBoxes.h"

#include <QMessageBox>
#include <QStringList>

namespace {
int styleOf(const QMessageBox &box)
{
    if (box.standardButtons() != QMessageBox::Ok)
        return -1;
    switch (box.icon()) {
    case QMessageBox::NoIcon: return vbOKOnly;
    case QMessageBox::Critical: return vbCritical;
    case QMessageBox::Warning: return vbExclamation;
    case QMessageBox::Information: return vbInformation;
    case QMessageBox::Question: break;
    }
    return -1;
}
} // namespace

MessageBoxCatcher::MessageBoxCatcher()
    : m_hook(SetMsgBoxExec, [this](QMessageBox &box) {
          boxes.append(ShownBox{box.text(), styleOf(box), box.windowTitle()});
          return int(QMessageBox::Ok);
      })
{
}

QString MessageBoxCatcher::describe() const
{
    QStringList out;
    for (const ShownBox &b : boxes)
        out << QStringLiteral("[%1|%2] %3").arg(b.title).arg(b.style).arg(b.prompt.left(200));
    return out.join(u'\n');
}
