#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

// The property lists the tool reads and writes: the phone's values.plist (lockdown
// values and "Sim" knobs) and the backup's Status.plist, Manifest.plist and Info.plist.

struct ToolKnobs
{
    int delayMs = 0;
    // Printed as they are: a string, or data for bytes such as a NUL. The standard output
    // text replaces the tool's own success line.
    std::optional<QByteArray> stdoutText;
    QByteArray stderrText;
    int exitCode = 0;
    std::optional<QString> fail;
};

class PhoneValues
{
public:
    // Throws ToolError when values.plist is missing or no dictionary.
    explicit PhoneValues(const QString& deviceFolder);
    ~PhoneValues();

    // A string of the default lockdown domain; empty when missing.
    QString lockdown(const char* key) const;
    // Sim -> BackupTool -> operation ("Backup" or "Restore").
    ToolKnobs knobs(const char* operation) const;

private:
    struct Root;
    std::unique_ptr<Root> root;
};

// Each throws ToolError when the file cannot be written.
void writeStatusPlist(const QString& path, const char* snapshotState);
void writeManifestPlist(const QString& path, const PhoneValues& values);
void writeInfoPlist(const QString& path, const PhoneValues& values);
// Empty when the file is missing, does not parse or has no such string.
QString snapshotState(const QString& statusPlistPath);
