#include "main_window/frmCorvane.h"

#include "main_window/Catalogue.h"
#include "main_window/Controls.h"
#include "tools/basTools.h"

#include <QDir>
#include <QDropEvent>
#include <QMimeData>
#include <QTimer>
#include <QUrl>

// Files and folders dragged from the file manager fill the drop targets that
// the catalogue marks; nothing else in the window takes a drop, and text
// dragged from another program is refused everywhere.

namespace {

// Leading and trailing blanks only; other white space is part of a name.
QString trimBlanks(const QString &s)
{
    qsizetype first = 0;
    qsizetype last = s.size();
    while (first < last && s.at(first) == u' ')
        ++first;
    while (last > first && s.at(last - 1) == u' ')
        --last;
    return s.mid(first, last - first);
}

QString quotedList(const QStringList &items, QString (*part)(const QString &))
{
    QString list;
    for (const QString &item : items)
        list += u'"' + trimBlanks(part(item)) + QStringLiteral("\" ");
    return list;
}

QString wholePath(const QString &path) { return path; }

bool holdsText(const QWidget *w)
{
    const std::optional<ControlKind> kind = controlKind(w);
    return kind == ControlKind::TextBox || kind == ControlKind::ComboBox;
}

} // namespace

QStringList frmCorvane::droppedPaths(const QMimeData *data)
{
    QStringList paths;
    if (!data || !data->hasUrls())
        return paths;
    const QList<QUrl> urls = data->urls();
    for (const QUrl &url : urls) {
        if (!url.isLocalFile())
            continue;
        const QString path = url.toLocalFile();
        if (!path.isEmpty())
            paths.append(QDir::toNativeSeparators(path));
    }
    return paths;
}

QString frmCorvane::GetDroppedPath(const QStringList &items)
{
    return items.isEmpty() ? QString() : items.first();
}

QString frmCorvane::GetDroppedPathList(const QStringList &items)
{
    return trimBlanks(quotedList(items, wholePath));
}

QString frmCorvane::GetDroppedFileName(const QStringList &items)
{
    return items.isEmpty() ? QString() : FileNamePart(items.first());
}

QString frmCorvane::GetDroppedFileNameList(const QStringList &items)
{
    // The blank after the last name stays.
    return quotedList(items, FileNamePart);
}

void frmCorvane::setUpDropTargets()
{
    for (const ControlSpec &entry : controlCatalogue()) {
        QWidget *w = control(QLatin1StringView(entry.name));
        const bool target = entry.drop != DropRule::None;
        if (!w || (!target && !holdsText(w)))
            continue;
        // Qt's text fields take dropped text of their own accord, down to the
        // line edit inside a combo box and the viewport of a multi-line box.
        // None of them may; the filter also keeps their own drop code from
        // running should a drop reach them anyway.
        // A drop anywhere on a target lands on the target itself. (A scroll
        // area hands its own setting on to its viewport, so the parts inside
        // are switched off afterwards.)
        w->setAcceptDrops(target);
        w->installEventFilter(this);
        const QList<QWidget *> parts = w->findChildren<QWidget *>();
        for (QWidget *part : parts) {
            part->setAcceptDrops(false);
            part->installEventFilter(this);
        }
    }
}

bool frmCorvane::filterDrop(QObject *watched, QDropEvent *drop)
{
    // Drag enter and drag move events are drop events too.
    const QEvent::Type type = drop->type();
    auto *w = qobject_cast<QWidget *>(watched);
    const ControlSpec *entry = w ? findControlSpec(w->objectName().toLatin1().constData()) : nullptr;
    const bool target = entry && entry->drop != DropRule::None && control(QLatin1StringView(entry->name)) == w;

    // Only a copy or a link is taken: accepting a move would let the file
    // manager delete the dropped files.
    Qt::DropAction action = Qt::IgnoreAction;
    if (drop->possibleActions() & Qt::CopyAction)
        action = Qt::CopyAction;
    else if (drop->possibleActions() & Qt::LinkAction)
        action = Qt::LinkAction;

    if (!target || !w->isEnabled() || action == Qt::IgnoreAction || droppedPaths(drop->mimeData()).isEmpty()) {
        drop->ignore();
        return true;
    }
    if (type == QEvent::Drop && !dropOnto(w, drop->mimeData())) {
        drop->ignore();
        return true;
    }
    drop->setDropAction(action);
    drop->accept();
    return true;
}

bool frmCorvane::dropOnto(QWidget *target, const QMimeData *mime)
{
    const ControlSpec *entry = target ? findControlSpec(target->objectName().toLatin1().constData()) : nullptr;
    if (!entry || entry->drop == DropRule::None || control(QLatin1StringView(entry->name)) != target)
        return false;
    const QStringList items = droppedPaths(mime);
    if (items.isEmpty())
        return false;
    const bool wholeList = entry->drop == DropRule::PathList || entry->drop == DropRule::FileNameList;
    const QString unquotable = FirstUnquotablePath(wholeList ? items : items.mid(0, 1));
    if (!unquotable.isEmpty()) {
        // Told once the drop is over, so that the file manager is not kept
        // waiting for its answer while the message is open.
        QTimer::singleShot(0, this, [unquotable] { RefuseUnquotablePath(unquotable); });
        return false;
    }

    QString text;
    switch (entry->drop) {
    case DropRule::Path: text = GetDroppedPath(items); break;
    case DropRule::PathList: text = GetDroppedPathList(items); break;
    case DropRule::FileName: text = GetDroppedFileName(items); break;
    case DropRule::FileNameList: text = GetDroppedFileNameList(items); break;
    case DropRule::None: return false;
    }
    // The drop replaces the field's text; its own change handling rebuilds.
    setTextOf(target, text);

    // Files dropped on the file-name field name their folder as the source
    // when none is typed yet. An item without a parent folder (a drive root)
    // has none to give.
    if (target == control("txtFilenames")) {
        QWidget *source = control("cboSource");
        const QString folder = FolderPart(items.first());
        if (textOf(source).isEmpty() && !folder.isEmpty())
            setTextOf(source, folder);
    }
    return true;
}
