#include "port/D2xxLibrary.h"

#include <QFileInfo>

namespace kestra {

QString D2xxLibrary::standardName() {
#if defined(Q_OS_WIN)
    return QStringLiteral("ftd2xx.dll");
#elif defined(Q_OS_MACOS)
    return QStringLiteral("libftd2xx.dylib");
#else
    return QStringLiteral("libftd2xx.so");
#endif
}

bool D2xxLibrary::load() {
    if (loaded_)
        return true;
    const QString fromEnvironment = qEnvironmentVariable("KESTRA_D2XX_LIBRARY");
    return loadFrom(fromEnvironment.isEmpty() ? standardName() : fromEnvironment);
}

bool D2xxLibrary::loadFrom(const QString& path) {
    if (loaded_)
        return true;
    // A bare name goes through the normal library search; a path is taken as
    // it stands, so a typo in KESTRA_D2XX_LIBRARY is not hidden by a
    // system-wide library.
    library_.setFileName(QFileInfo(path).isAbsolute() ? QFileInfo(path).absoluteFilePath() : path);
    if (!library_.load()) {
        error_ = library_.errorString();
        return false;
    }
    if (!resolveAll()) {
        library_.unload();
        return false;
    }
    loaded_ = true;
    error_.clear();
    return true;
}

bool D2xxLibrary::resolveAll() {
    bool complete = true;
    auto resolve = [this, &complete](auto& function, const char* name) {
        function =
            reinterpret_cast<std::remove_reference_t<decltype(function)>>(library_.resolve(name));
        if (!function && complete) {
            error_ = QStringLiteral("%1 does not export %2")
                         .arg(library_.fileName(), QString::fromLatin1(name));
            complete = false;
        }
    };
    resolve(FT_ListDevices, "FT_ListDevices");
    resolve(FT_OpenEx, "FT_OpenEx");
    resolve(FT_Close, "FT_Close");
    resolve(FT_GetQueueStatus, "FT_GetQueueStatus");
    resolve(FT_Read, "FT_Read");
    resolve(FT_Write, "FT_Write");
    resolve(FT_Purge, "FT_Purge");
    resolve(FT_GetStatus, "FT_GetStatus");
    resolve(FT_SetBaudRate, "FT_SetBaudRate");
    resolve(FT_SetDataCharacteristics, "FT_SetDataCharacteristics");
    resolve(FT_SetLatencyTimer, "FT_SetLatencyTimer");
    return complete;
}

} // namespace kestra
