#include "brellfin/ui/brellfinapp.h"

#include "brellfin/ui/brellfindlg.h"
#include "brellfin/ui/brellfinresources.h"
#include "brellfin/ui/sharedtexts.h"

CBrellfinApp::CBrellfinApp() : m_restartManagerSupportFlags(1) {}

bool CBrellfinApp::InitInstance()
{
    loadSharedTexts();
    BrellfinUi::registerResources();
    CBrellfinDlg dialog;
    dialog.DoModal();
    return false;
}
