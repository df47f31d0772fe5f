#include "MessageBoxes.h"

#include <QMessageBox>
#include <QStringList>

namespace {
int styleOf(const QMessageBox &box)
{
    int buttons = -1;
    if (box.standardButtons() == QMessageBox::Ok)
        buttons = vbOKOnly;
    else if (box.standardButtons() == (QMessageBox::Yes | QMessageBox::No))
        buttons = vbYesNo;
    if (buttons < 0)
        return -1;
    switch (box.icon()) {
    case QMessageBox::NoIcon: return buttons;
    case QMessageBox::Critical: return buttons + vbCritical;
    case QMessageBox::Warning: return buttons + vbExclamation;
    case QMessageBox::Information: return buttons + vbInformation;
    case QMessageBox::Question: break;
    }
    return -1;
}
} // namespace

MessageBoxCatcher::MessageBoxCatcher()
    : m_hook(SetMsgBoxExec, [this](QMessageBox &box) {
          boxes.append(ShownBox{box.text(), styleOf(box), box.windowTitle()});
          if (box.standardButtons() == QMessageBox::Ok)
              return int(QMessageBox::Ok);
          return int(yesNoReply == vbYes ? QMessageBox::Yes : QMessageBox::No);
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
