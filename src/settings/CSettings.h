#pragma once

#include "settings/IniFile.h"
#include "settings/SettingsLocation.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QSettings;

// A value on its way into the store: Booleans become "-1" and "0", integers
// their decimal text, texts stay as they are.
class SettingValue
{
public:
    SettingValue(bool value) : m_text(value ? QStringLiteral("-1") : QStringLiteral("0")) {}
    SettingValue(int value) : m_text(QString::number(value)) {}
    SettingValue(qint16 value) : m_text(QString::number(value)) {}
    SettingValue(qint64 value) : m_text(QString::number(value)) {}
    SettingValue(const QString &value) : m_text(value) {}
    SettingValue(const char *value) : m_text(QString::fromUtf8(value)) {}
    SettingValue(QLatin1StringView value) : m_text(value) {}

    const QString &text() const { return m_text; }

private:
    QString m_text;
};

// A failure the store met: in which back end, in which of its operations
// ("INIGetSetting" and "INIWriteSetting" for a run-time failure of the INI
// file, "SaveSetting", "DeleteSetting" and "Batch" for a per-user store that
// cannot be written), its number and its description.
struct SettingsError
{
    enum class Backend { IniFile, UserStore };
    Backend backend;
    QString operation;
    int number;
    QString description;
};

// The store's one way to tell of a failure: it calls its owner's function and
// goes on as its operation says (a failed read gives the empty text, a failed
// write stores nothing). The owner decides what the user sees.
using SettingsFailureReport = std::function<void(const SettingsError &error)>;

// The settings store: one text value per key in the section "Settings",
// either in Settings.ini beside the program (the default) or in the per-user
// store (the registry on Windows). SaveToINI tells which one is in use; the
// store falls back to the per-user store by itself when the INI file cannot
// be written.
//
// Every read and write goes to the back end at once, except inside a Batch:
// there the INI file is read once and written once at the end, and the
// per-user store is flushed once at the end. A whole-form save or load runs
// as one batch.
class CSettings
{
public:
    // Creation: reads the flag from the per-user store, removes what killed
    // writes left beside the INI file and probes it. Failures go to report.
    explicit CSettings(const SettingsLocation &location = {}, SettingsFailureReport report = {});
    // Release: stores the flag.
    ~CSettings();
    CSettings(const CSettings &) = delete;
    CSettings &operator=(const CSettings &) = delete;

    bool SaveToINI() const { return m_saveToIni; }
    // Chooses the back end; afterwards SaveToINI() tells the one really in use.
    void setSaveToINI(bool bValue);

    // The stored value, or the default's text when the key is not stored. An
    // unreadable store reads as empty; a damaged INI file is reported.
    QString GetSetting(const QString &sName, const SettingValue &vDefault);
    // Reports a per-user store that cannot be written and a damaged INI file;
    // a refused INI write is ignored.
    void SaveSetting(const QString &sName, const SettingValue &vValue);
    // Deletes one key, or the whole section when sKey is empty. Reports a
    // per-user store that cannot be written.
    void DeleteSetting(const QString &sKey = QString());

    const QString &iniPath() const { return m_iniPath; }
    // The folder of the back end in use: Settings.ini's, or the per-user
    // store's (where that is the registry, the user's local application
    // data). What belongs beside the settings goes there.
    QString settingsFolder() const;

    // The Boolean of a stored text: "0" and "False" are false, "-1", "True"
    // and any other non-zero number true; any other text gives fallback.
    static bool toBoolean(const QString &text, bool fallback);

    class Batch
    {
    public:
        explicit Batch(CSettings &store);
        // Ends the batch, reporting nothing, when commit() was not called.
        ~Batch();
        Batch(const Batch &) = delete;
        Batch &operator=(const Batch &) = delete;
        // Writes what the batch holds; reports as SaveSetting does. False when
        // the INI file refused it: nothing of the batch reached the file. An
        // inner batch writes nothing and answers true.
        [[nodiscard]] bool commit();

    private:
        CSettings *m_store;
    };

private:
    struct IniCache;

    QString INIGetSetting(const QString &key, const QString &defaultText);
    // A null value deletes the key. A probe reaches the file even inside a
    // batch; when the file already holds the value it checks that the file
    // could be written instead of rewriting it.
    bool INIWriteSetting(const QString &key, const std::optional<QString> &value, bool probe = false);
    bool INIDeleteSection();

    // The INI document for one operation, or the batch's; nullptr when the
    // file cannot be read.
    IniDocument *iniDocument(IniCache &scratch);
    // Why the file could not be read, when that is a run-time failure of the
    // INI function named (a file that cannot even be opened is none).
    std::optional<SettingsError> iniReadFailure(const IniCache &scratch, const char *operation) const;
    bool iniStore(IniCache &scratch, bool changed, bool probe);
    bool flushIni();
    // One damaged file is reported once per batch, not once per key.
    void reportIniFailure(const SettingsError &error);

    // The per-user back end. Each write gives the failure, if any, to its
    // caller, who reports it or, where the store goes on regardless, not.
    std::unique_ptr<QSettings> openUserStore() const;
    QSettings &userStore(std::unique_ptr<QSettings> &scratch);
    std::optional<SettingsError> flushUserStore(QSettings &store, const char *operation);
    QString userGet(const QString &key, const QString &defaultText);
    std::optional<SettingsError> userSet(const QString &key, const QString &value);
    std::optional<SettingsError> userRemove(const QString &key);

    // tell: report a per-user store that cannot be written. False when the
    // INI file refused what the batch held.
    bool endBatch(bool tell);
    void report(const SettingsError &error);

    SettingsFailureReport m_report;
    SettingsLocation m_location;
    QString m_appName;
    QString m_iniPath;
    bool m_saveToIni = true;

    int m_batchDepth = 0;
    std::unique_ptr<IniCache> m_iniBatch;
    std::unique_ptr<QSettings> m_userBatch;
    bool m_userBatchDirty = false;
};
