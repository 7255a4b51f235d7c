#include "ios/mobiledevice_library.h"

#include "ios/CommonProgramFiles.h"
#include "ios/IosLog.h"

#include <QDir>
#include <QFileInfo>
#include <QLibrary>
#include <QSettings>
#include <QStringList>

namespace {

// A registry value is read into 256 bytes of UTF-16, terminator included.
constexpr int registryValueBytes = 256;

QLibrary& mobiledevice_library()
{
    static QLibrary library;
    return library;
}

QLibrary& corefoundation_library()
{
    static QLibrary library;
    return library;
}

#define NAME_OF(name) #name,
const char* const mobileDeviceNames[] = {MOBILEDEVICE_FUNCTIONS(NAME_OF)};
const char* const coreFoundationNames[] = {COREFOUNDATION_FUNCTIONS(NAME_OF) COREFOUNDATION_DATA(NAME_OF)};
#undef NAME_OF

// Loads by folder-qualified name, then by bare name. A library that lacks one of the
// names is unloaded again: a call through a missing name would jump to address 0.
template <std::size_t N>
bool loadChecked(QLibrary& library, const QString& folder, const QString& name, const char* const (&names)[N])
{
    library.setFileName(QDir(folder).filePath(name));
    if (!library.load()) {
        const QString firstError = library.errorString();
        library.setFileName(name);
        if (!library.load()) {
            qCWarning(lcIos, "cannot load %s: %s", qPrintable(name), qPrintable(firstError));
            return false;
        }
    }
    for (const char* symbol : names) {
        if (!library.resolve(symbol)) {
            qCWarning(lcIos, "%s lacks %s", qPrintable(library.fileName()), symbol);
            library.unload();
            return false;
        }
    }
    return true;
}

} // namespace

QString read_hklm_string_value(const QString& keyPath, const QString& valueName)
{
    const QString file = qEnvironmentVariable("VELTROMINEX_REGISTRY");
    if (file.isEmpty() || !QFileInfo(file).isFile())
        return {};
    const QSettings registry(file, QSettings::IniFormat);
    QString group = keyPath;
    group.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const QVariant stored = registry.value(group + QLatin1Char('/') + valueName);
    // An unquoted value with commas comes back as a list; the registry had one string.
    const QString value = stored.typeId() == QMetaType::QStringList ? stored.toStringList().join(QLatin1Char(','))
                                                                     : stored.toString();
    if ((value.size() + 1) * 2 > registryValueBytes)
        return {};
    return value;
}

bool mobiledevice_load_frameworks(QString& error)
{
    QString mobileDeviceFolder = read_hklm_string_value(mobileDeviceRegistryKey, installDirValueName);
    QString supportFolder = read_hklm_string_value(applicationSupportRegistryKey, installDirValueName);
    if (mobileDeviceFolder.isEmpty() || supportFolder.isEmpty()) {
        const QString common = commonProgramFilesFolder();
        if (mobileDeviceFolder.isEmpty())
            mobileDeviceFolder = QDir::toNativeSeparators(common + QStringLiteral("/Apple/Mobile Device Support"));
        if (supportFolder.isEmpty())
            supportFolder = QDir::toNativeSeparators(common + QStringLiteral("/Apple/Apple Application Support"));
    }

    // The loader here does not search PATH; the folders go in front of it all the same,
    // for the programs the device libraries may start.
    const QString oldPath = qEnvironmentVariable("PATH");
    QString newPath = mobileDeviceFolder + QDir::listSeparator() + supportFolder;
    if (!oldPath.isEmpty()) // an empty entry would put the working folder on PATH
        newPath += QDir::listSeparator() + oldPath;
    if (!qputenv("PATH", QFile::encodeName(newPath))) {
        error = QStringLiteral("SetEnvironmentVariable(PATH=%1) failed.").arg(newPath);
        return false;
    }

    if (!loadChecked(mobiledevice_library(), mobileDeviceFolder, QStringLiteral("iTunesMobileDevice"), mobileDeviceNames)) {
        error = QStringLiteral("Failed to load (Mobile Device) framework.");
        return false;
    }
    if (!loadChecked(corefoundation_library(), supportFolder, QStringLiteral("CoreFoundation"), coreFoundationNames)) {
        error = QStringLiteral("Failed to load (CoreFoundation) framework.");
        return false;
    }
    return true;
}

bool mobiledevice_frameworks_loaded()
{
    return mobiledevice_library().isLoaded() && corefoundation_library().isLoaded();
}

void* mobiledevice_resolve(const char* name)
{
    return reinterpret_cast<void*>(mobiledevice_library().resolve(name));
}

void* cf_resolve(const char* name)
{
    return reinterpret_cast<void*>(corefoundation_library().resolve(name));
}
