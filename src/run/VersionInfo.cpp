#include "run/VersionInfo.h"

#include "CorvaneVersion.h"
#include "run/basShell.h"

#include <QDir>

#include <algorithm>

#ifdef Q_OS_WIN
#include "run/basShell_win.h"
#endif

ProgramVersion ReadProgramVersion()
{
#ifdef Q_OS_WIN
    win32::VersionResource res;
    if (win32::ReadOwnVersion(res)) {
        return {QString::fromStdWString(res.description), res.major, res.minor, res.revision,
                QString::fromStdWString(res.comments), QString::fromStdWString(res.productName)};
    }
#endif
    return {QStringLiteral(CORVANE_FILE_DESCRIPTION), CORVANE_FILE_VERSION_MAJOR, CORVANE_FILE_VERSION_MINOR,
            CORVANE_FILE_VERSION_REVISION, QStringLiteral(CORVANE_COMMENTS), QStringLiteral(CORVANE_PRODUCT_NAME)};
}

QString VersionLine(const ProgramVersion &version)
{
    // Plain concatenation: a "%" in the credit line must stay as it is.
    return version.description + QStringLiteral(" version ") + QString::number(version.major) + u'.'
        + QString::number(version.minor) + u'.' + QString::number(version.revision) + u' ' + version.comments;
}

QString LinkCaption(const QString &link)
{
    const qsizetype folder = std::max(link.lastIndexOf(u'/'), link.lastIndexOf(u'\\'));
    return IsWebAddress(link) ? link : link.mid(folder + 1);
}

QString LinkTarget(const QString &link, const QString &programFolder)
{
    if (IsWebAddress(link))
        return link;
    return QDir::toNativeSeparators(QDir::cleanPath(QDir(programFolder).absoluteFilePath(QDir::fromNativeSeparators(link))));
}
