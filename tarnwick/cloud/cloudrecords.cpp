#include "tarnwick/cloud/cloudrecords.h"

#include <mutex>

void registerCloudMetaTypes()
{
    static std::once_flag once;
    std::call_once(once, [] {
        qRegisterMetaType<stLoginData>("stLoginData");
        qRegisterMetaType<stBoxData>("stBoxData");
        qRegisterMetaType<stLoginResult>("stLoginResult");
        qRegisterMetaType<stVpnClientData>("stVpnClientData");
        qRegisterMetaType<QVector<stBoxData>>("QVector<stBoxData>");
    });
}
