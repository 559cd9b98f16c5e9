#include "brellfin/dialog/brellfinapp.h"

#include "brellfin/dialog/brellfindlg.h"
#include "brellfin/dialog/brellfinresources.h"
#include "brellfin/ui/sharedtexts.h"

CBrellfinApp::CBrellfinApp()
    : m_restartManagerSupportFlags(1)
{
}

bool CBrellfinApp::InitInstance()
{
    loadSharedTexts();
    BrellfinUi::registerResources();
    CBrellfinDlg dialog;
    dialog.DoModal();
    return false;
}
