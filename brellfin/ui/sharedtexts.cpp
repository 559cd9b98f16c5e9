#include "brellfin/ui/sharedtexts.h"

#include "brellfin/service/serviceconstants.h"
#include "brellfin/ui/localizedstring.h"

#include <iterator>

using namespace BrellfinUi;

CString g_errorText[6];
CString g_stateText[5];
CString g_directionText[2];

const CString g_userDirRoot = QString::fromLatin1(BrellfinService::kUserDirRoot);
const CString g_usbRoot = QStringLiteral("/media/usb");
const CString g_rootPath = QStringLiteral("/");
const CString g_userAreaTitle = QString::fromUtf8("用户文件区");
const CString g_usbTitle = QString::fromUtf8("U盘");
const CString g_fileServicePort = QStringLiteral("127");

void loadSharedTexts()
{
    static_assert(std::size(kErrorWordIds) == std::size(g_errorText));
    static_assert(std::size(kStateWordIds) == std::size(g_stateText));
    static_assert(std::size(kDirectionWordIds) == std::size(g_directionText));
    for (std::size_t i = 0; i < std::size(kErrorWordIds); ++i)
        g_errorText[i] = loadLocalizedString(kErrorWordIds[i]);
    for (std::size_t i = 0; i < std::size(kStateWordIds); ++i)
        g_stateText[i] = loadLocalizedString(kStateWordIds[i]);
    for (std::size_t i = 0; i < std::size(kDirectionWordIds); ++i)
        g_directionText[i] = loadLocalizedString(kDirectionWordIds[i]);
}
