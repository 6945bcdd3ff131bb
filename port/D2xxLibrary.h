// Run-time binding of the FTDI D2XX library. The library is looked for at the
// path in KESTRA_D2XX_LIBRARY when that is set, otherwise under the platform's
// standard name through the normal library search. The editor still starts
// when neither loads; the link commands then explain what is missing.
#pragma once

#include "d2xx/d2xx_abi.h"

#include <QLibrary>
#include <QString>

namespace kestra {

class D2xxLibrary {
public:
    // The platform's standard file name of the vendor's library.
    static QString standardName();

    // Loads from KESTRA_D2XX_LIBRARY or the standard name. Idempotent.
    bool load();
    // Loads exactly this file (tests and the environment variable use it).
    bool loadFrom(const QString& path);

    bool isLoaded() const { return loaded_; }
    // Why the last load failed, for the user.
    QString errorString() const { return error_; }
    QString fileName() const { return library_.fileName(); }

    d2xx::FT_ListDevices_t FT_ListDevices = nullptr;
    d2xx::FT_OpenEx_t FT_OpenEx = nullptr;
    d2xx::FT_Close_t FT_Close = nullptr;
    d2xx::FT_GetQueueStatus_t FT_GetQueueStatus = nullptr;
    d2xx::FT_Read_t FT_Read = nullptr;
    d2xx::FT_Write_t FT_Write = nullptr;
    d2xx::FT_Purge_t FT_Purge = nullptr;
    d2xx::FT_GetStatus_t FT_GetStatus = nullptr;
    d2xx::FT_SetBaudRate_t FT_SetBaudRate = nullptr;
    d2xx::FT_SetDataCharacteristics_t FT_SetDataCharacteristics = nullptr;
    d2xx::FT_SetLatencyTimer_t FT_SetLatencyTimer = nullptr;

private:
    bool resolveAll();

    QLibrary library_;
    bool loaded_ = false;
    QString error_;
};

} // namespace kestra
