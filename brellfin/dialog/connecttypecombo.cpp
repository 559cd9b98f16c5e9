#include "brellfin/dialog/connecttypecombo.h"

#include "brellfin/dialog/brellfinresources.h"
#include "brellfin/dialog/settingsfile.h"
#include "brellfin/profile/profilefile.h"

using namespace BrellfinUi;

void ConnectTypeCombo::loadFromIni(CString iniPath)
{
    const CString type =
        ProfileFile::readString(iniPath, kSectionIp, kKeyConnectType, kDefaultConnectType).left(kValueChars);
    const bool network = type.compare(QLatin1String("tcp"), Qt::CaseInsensitive) == 0;
    SetCurSel(network ? 0 : 1);
    apply(network);
}

void ConnectTypeCombo::OnSelChange()
{
    apply(GetCurSel() == 0);
}

void ConnectTypeCombo::apply(bool network)
{
    m_network = network;
    EnableWindow(m_pMgr->dlgItem(kIdAddress), network);
}
