#include "settings/CSettings.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <new>
#include <utility>

namespace {

const QString kSection = QStringLiteral("Settings");
const QString kFlagKey = QStringLiteral("SaveToINI");

constexpr int kOutOfMemory = 7;
constexpr int kDeviceIoError = 57;
constexpr int kPathFileAccessError = 75;

} // namespace

struct CSettings::IniCache
{
    bool loaded = false;
    IniReadStatus status = IniReadStatus::Missing;
    IniDocument document;
    QString error;
    bool dirty = false;
    bool failureReported = false;
};

// ---- Creation and release

CSettings::CSettings(const SettingsLocation &location, SettingsFailureReport report)
    : m_report(std::move(report)), m_location(location), m_appName(QStringLiteral("Corvane"))
{
    m_iniPath = location.iniPath.isEmpty() ? QCoreApplication::applicationDirPath() + QStringLiteral("/Settings.ini")
                                           : location.iniPath;
    // The flag lives in the per-user store only, so a program folder that
    // cannot be written keeps the store there from one run to the next.
    const bool useIni = toBoolean(userGet(kFlagKey, SettingValue(true).text()), true);
    // A write that was killed before its rename left its new file behind.
    if (useIni)
        removeAbandonedIniFiles(m_iniPath);
    setSaveToINI(useIni);
}

CSettings::~CSettings()
{
    if (m_batchDepth > 0) {
        m_batchDepth = 1;
        endBatch(false);
    }
    // As SaveSetting of the flag, but a per-user store that cannot take it
    // goes untold: the program is ending. The INI function reports as ever.
    if (m_saveToIni)
        INIWriteSetting(kFlagKey, SettingValue(true).text());
    else
        userSet(kFlagKey, SettingValue(false).text());
}

bool CSettings::toBoolean(const QString &text, bool fallback)
{
    const QString t = text.trimmed();
    if (t.compare(QLatin1StringView("False"), Qt::CaseInsensitive) == 0)
        return false;
    if (t.compare(QLatin1StringView("True"), Qt::CaseInsensitive) == 0)
        return true;
    bool ok = false;
    const double number = t.toDouble(&ok);
    return ok ? number != 0 : fallback;
}

// ---- The flag

void CSettings::setSaveToINI(bool bValue)
{
    // Each step may fail on its own; the next one runs regardless, and a
    // per-user store that cannot be written is not told of.
    if (bValue) {
        if (INIWriteSetting(kFlagKey, QStringLiteral("-1"), true)) {
            userRemove(kFlagKey);
            m_saveToIni = true;
            return;
        }
    }
    userSet(kFlagKey, QStringLiteral("0"));
    m_saveToIni = false;
}

// ---- Public operations

QString CSettings::GetSetting(const QString &sName, const SettingValue &vDefault)
{
    return m_saveToIni ? INIGetSetting(sName, vDefault.text()) : userGet(sName, vDefault.text());
}

void CSettings::SaveSetting(const QString &sName, const SettingValue &vValue)
{
    if (m_saveToIni)
        INIWriteSetting(sName, vValue.text()); // a refused write just stores nothing
    else if (const std::optional<SettingsError> failure = userSet(sName, vValue.text()))
        report(*failure);
}

void CSettings::DeleteSetting(const QString &sKey)
{
    if (m_saveToIni) {
        if (sKey.isEmpty())
            INIDeleteSection();
        else
            INIWriteSetting(sKey, std::nullopt);
    } else if (const std::optional<SettingsError> failure = userRemove(sKey)) { // an empty key: the whole section
        report(*failure);
    }
}

QString CSettings::settingsFolder() const
{
    if (m_saveToIni)
        return QFileInfo(m_iniPath).absolutePath();
    const std::unique_ptr<QSettings> store = openUserStore();
#ifdef Q_OS_WIN
    if (store->format() == QSettings::NativeFormat) // the registry
        return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + u'/' + m_appName;
#endif
    return QFileInfo(store->fileName()).absolutePath();
}

void CSettings::report(const SettingsError &error)
{
    if (m_report)
        m_report(error);
}

// ---- Batches

CSettings::Batch::Batch(CSettings &store) : m_store(&store)
{
    if (store.m_batchDepth++ == 0)
        store.m_iniBatch = std::make_unique<IniCache>();
}

CSettings::Batch::~Batch()
{
    if (m_store)
        m_store->endBatch(false);
}

bool CSettings::Batch::commit()
{
    CSettings *store = std::exchange(m_store, nullptr);
    return !store || store->endBatch(true);
}

bool CSettings::endBatch(bool tell)
{
    if (--m_batchDepth > 0)
        return true;
    const bool iniStored = flushIni();
    m_iniBatch.reset();
    std::unique_ptr<QSettings> user = std::move(m_userBatch);
    const bool dirty = std::exchange(m_userBatchDirty, false);
    if (!user || !dirty)
        return iniStored;
    const std::optional<SettingsError> failure = flushUserStore(*user, "Batch");
    if (failure && tell)
        report(*failure);
    return iniStored;
}

// ---- INI back end

void CSettings::reportIniFailure(const SettingsError &error)
{
    if (m_iniBatch) {
        if (m_iniBatch->failureReported)
            return;
        m_iniBatch->failureReported = true;
    }
    report(error);
}

IniDocument *CSettings::iniDocument(IniCache &scratch)
{
    IniCache &cache = m_iniBatch ? *m_iniBatch : scratch;
    if (!cache.loaded) {
        IniReadResult result = readIniFile(m_iniPath);
        cache.loaded = true;
        cache.status = result.status;
        cache.document = std::move(result.document);
        cache.error = result.error;
        cache.dirty = false;
    }
    return cache.status == IniReadStatus::Ok || cache.status == IniReadStatus::Missing ? &cache.document : nullptr;
}

std::optional<SettingsError> CSettings::iniReadFailure(const IniCache &scratch, const char *operation) const
{
    const IniCache &cache = m_iniBatch ? *m_iniBatch : scratch;
    const QString name = QLatin1StringView(operation);
    switch (cache.status) {
    case IniReadStatus::TooLarge:
        return SettingsError{SettingsError::Backend::IniFile, name, kOutOfMemory, cache.error};
    case IniReadStatus::IoError:
        return SettingsError{SettingsError::Backend::IniFile, name, kDeviceIoError, cache.error};
    case IniReadStatus::Ok:
    case IniReadStatus::Missing:
    case IniReadStatus::Unreadable:
        break;
    }
    return std::nullopt;
}

bool CSettings::iniStore(IniCache &scratch, bool changed, bool probe)
{
    // A probe asks whether the file can be written. When the file already
    // holds the value it only checks, as Windows' own write of an unchanged
    // value leaves the file alone: a full disk or a passing lock must not
    // move the store away from the INI file for good.
    if (m_iniBatch) {
        if (changed)
            m_iniBatch->dirty = true;
        if (!probe)
            return true;
        return m_iniBatch->dirty ? flushIni() : canWriteIniFile(m_iniPath);
    }
    if (changed)
        return writeIniFile(m_iniPath, scratch.document);
    return !probe || canWriteIniFile(m_iniPath);
}

bool CSettings::flushIni()
{
    IniCache &cache = *m_iniBatch;
    if (!cache.loaded)
        return true;
    // A file that could not be read took none of the batch's writes.
    if (cache.status != IniReadStatus::Ok && cache.status != IniReadStatus::Missing)
        return false;
    if (!cache.dirty)
        return true;
    const bool ok = writeIniFile(m_iniPath, cache.document);
    cache.dirty = false;
    if (!ok)
        cache.loaded = false; // what was not stored must not read back as stored
    return ok;
}

// A run-time failure of these two is reported, and the read yields the
// empty text, the write false. A file that cannot be opened at all reads as
// the default and refuses writes quietly.

QString CSettings::INIGetSetting(const QString &key, const QString &defaultText)
{
    const char *const operation = "INIGetSetting";
    try {
        IniCache scratch;
        if (const IniDocument *document = iniDocument(scratch))
            return document->value(kSection, key).value_or(defaultText);
        const std::optional<SettingsError> failure = iniReadFailure(scratch, operation);
        if (!failure)
            return defaultText;
        reportIniFailure(*failure);
    } catch (const std::bad_alloc &) {
        reportIniFailure({SettingsError::Backend::IniFile, QLatin1StringView(operation), kOutOfMemory,
                          QStringLiteral("Out of memory")});
    }
    return QString();
}

bool CSettings::INIWriteSetting(const QString &key, const std::optional<QString> &value, bool probe)
{
    const char *const operation = "INIWriteSetting";
    try {
        if (!IniDocument::isValidKey(key))
            return false;
        IniCache scratch;
        IniDocument *document = iniDocument(scratch);
        if (!document) {
            // The file is there but cannot be read: never overwrite it blind.
            if (const std::optional<SettingsError> failure = iniReadFailure(scratch, operation))
                reportIniFailure(*failure);
            return false;
        }
        const bool changed = value ? document->setValue(kSection, key, *value) : document->removeKey(kSection, key);
        return iniStore(scratch, changed, probe);
    } catch (const std::bad_alloc &) {
        reportIniFailure({SettingsError::Backend::IniFile, QLatin1StringView(operation), kOutOfMemory,
                          QStringLiteral("Out of memory")});
    }
    return false;
}

bool CSettings::INIDeleteSection()
{
    IniCache scratch;
    IniDocument *document = iniDocument(scratch);
    if (!document)
        return false;
    return iniStore(scratch, document->removeSection(kSection), false);
}

// ---- Per-user back end

std::unique_ptr<QSettings> CSettings::openUserStore() const
{
    std::unique_ptr<QSettings> store;
#ifdef Q_OS_WIN
    // A registry key given in full stands in for the program's own.
    if (m_location.userStorePath.startsWith(QLatin1StringView("HKEY_"))) {
        store = std::make_unique<QSettings>(m_location.userStorePath, QSettings::NativeFormat);
    } else
#endif
    if (!m_location.userStorePath.isEmpty()) {
        store = std::make_unique<QSettings>(m_location.userStorePath, QSettings::IniFormat);
    } else {
#ifdef Q_OS_WIN
        // The per-user area of classic Windows programs' GetSetting and
        // SaveSetting, so that settings stored there keep working.
        store = std::make_unique<QSettings>(
            QStringLiteral("HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\") + m_appName,
            QSettings::NativeFormat);
#else
        store = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, m_appName, m_appName);
#endif
    }
    store->setFallbacksEnabled(false);
    store->beginGroup(kSection);
    return store;
}

QSettings &CSettings::userStore(std::unique_ptr<QSettings> &scratch)
{
    if (m_batchDepth > 0) {
        if (!m_userBatch)
            m_userBatch = openUserStore();
        return *m_userBatch;
    }
    scratch = openUserStore();
    return *scratch;
}

std::optional<SettingsError> CSettings::flushUserStore(QSettings &store, const char *operation)
{
    store.sync();
    if (store.status() != QSettings::AccessError)
        return std::nullopt;
    return SettingsError{SettingsError::Backend::UserStore, QLatin1StringView(operation), kPathFileAccessError,
                         QStringLiteral("The per-user settings store %1 cannot be written.").arg(store.fileName())};
}

QString CSettings::userGet(const QString &key, const QString &defaultText)
{
    // An unreadable store holds nothing valid and reads as empty.
    std::unique_ptr<QSettings> scratch;
    const QVariant value = userStore(scratch).value(key);
    if (!value.isValid())
        return defaultText;
    // A hand-edited value with commas reads as a list; it was one text.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1StringView(", "));
    return value.toString();
}

std::optional<SettingsError> CSettings::userSet(const QString &key, const QString &value)
{
    std::unique_ptr<QSettings> scratch;
    QSettings &store = userStore(scratch);
    store.setValue(key, value);
    if (m_batchDepth > 0) {
        m_userBatchDirty = true;
        return std::nullopt;
    }
    return flushUserStore(store, "SaveSetting");
}

std::optional<SettingsError> CSettings::userRemove(const QString &key)
{
    std::unique_ptr<QSettings> scratch;
    QSettings &store = userStore(scratch);
    store.remove(key);
    if (m_batchDepth > 0) {
        m_userBatchDirty = true;
        return std::nullopt;
    }
    return flushUserStore(store, "DeleteSetting");
}
