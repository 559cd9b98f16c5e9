#include "brellfin/dialog/armip.h"

#include "brellfin/dialog/settingsfile.h"
#include "brellfin/profile/profilefile.h"
#include "brellfin/ui/icombo.h"

using namespace BrellfinUi;

void ArmIP::loadFromIni(const CString& iniPath)
{
    setText(ProfileFile::readString(iniPath, kSectionIp, kKeyIpInfo, kDefaultAddress).left(kValueChars));
}

CString ArmIP::addressText()
{
    if (m_pMgr->connectTypeCombo()->getState())
        return text();
    return QString::fromLatin1(kUsbAddress);
}
