#include "brellfin/ui/sharedtexts.h"

#include "brellfin/ui/localizedstring.h"

namespace {

constexpr int kFirstErrorString = 198;
constexpr int kFirstStateString = 204;
constexpr int kFirstDirectionString = 208;

} // namespace

CString g_errorText[6];
CString g_stateText[4];
CString g_directionText[2];

const CString g_userDirRoot = QStringLiteral("/storage/user_dir");
const CString g_usbRoot = QStringLiteral("/media/usb");
const CString g_rootPath = QStringLiteral("/");
const CString g_userAreaTitle = QString::fromUtf8("用户文件区");
const CString g_usbTitle = QString::fromUtf8("U盘");
const CString g_fileServicePort = QStringLiteral("127");

void loadSharedTexts()
{
    for (int i = 0; i < 6; ++i)
        g_errorText[i] = loadLocalizedString(kFirstErrorString + i);
    for (int i = 0; i < 4; ++i)
        g_stateText[i] = loadLocalizedString(kFirstStateString + i);
    for (int i = 0; i < 2; ++i)
        g_directionText[i] = loadLocalizedString(kFirstDirectionString + i);
}
