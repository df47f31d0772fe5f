#pragma once

#include "settings/IniFile.h"
#include "settings/SettingsLocation.h"

#include <QString>

#include <memory>
#include <optional>
#include <stdexcept>

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

// A write to the per-user store that did not reach it. Passed to the caller,
// who decides how to tell the user.
class SettingsError : public std::runtime_error
{
public:
    SettingsError(int number, const QString &description)
        : std::runtime_error(description.toStdString()), m_number(number), m_description(description)
    {
    }
    int number() const { return m_number; }
    const QString &description() const { return m_description; }

private:
    int m_number;
    QString m_description;
};

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
    // writes left beside the INI file and probes it.
    explicit CSettings(const SettingsLocation &location = {});
    // Release: stores the flag.
    ~CSettings();
    CSettings(const CSettings &) = delete;
    CSettings &operator=(const CSettings &) = delete;

    bool SaveToINI() const { return m_saveToIni; }
    // Chooses the back end; afterwards SaveToINI() tells the one really in use.
    void setSaveToINI(bool bValue);

    // The stored value, or the default's text when the key is not stored.
    // Never throws: an unreadable store reads as empty.
    QString GetSetting(const QString &sName, const SettingValue &vDefault);
    // Throws SettingsError when the per-user store cannot be written; a
    // refused INI write is ignored.
    void SaveSetting(const QString &sName, const SettingValue &vValue);
    // Deletes one key, or the whole section when sKey is empty.
    void DeleteSetting(const QString &sKey = QString());

    const QString &iniPath() const { return m_iniPath; }

    // The Boolean of a stored text: "0" and "False" are false, "-1", "True"
    // and any other non-zero number true; any other text gives fallback.
    static bool toBoolean(const QString &text, bool fallback);

    class Batch
    {
    public:
        explicit Batch(CSettings &store);
        // Ends the batch without throwing when commit() was not called.
        ~Batch();
        Batch(const Batch &) = delete;
        Batch &operator=(const Batch &) = delete;
        // Writes what the batch holds; throws SettingsError as SaveSetting does.
        void commit();

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
    // file cannot be read (a run-time failure throws).
    IniDocument *iniDocument(IniCache &scratch);
    bool iniStore(IniCache &scratch, bool changed, bool probe);
    bool flushIni();
    void reportIniFailure(const char *title, int number, const QString &description);

    std::unique_ptr<QSettings> openUserStore() const;
    QSettings &userStore(std::unique_ptr<QSettings> &scratch);
    void flushUserStore(QSettings &store);
    QString userGet(const QString &key, const QString &defaultText);
    void userSet(const QString &key, const QString &value);
    void userRemove(const QString &key);

    void endBatch(bool mayThrow);

    SettingsLocation m_location;
    QString m_appName;
    QString m_iniPath;
    bool m_saveToIni = true;

    int m_batchDepth = 0;
    std::unique_ptr<IniCache> m_iniBatch;
    std::unique_ptr<QSettings> m_userBatch;
    bool m_userBatchDirty = false;
};
