#pragma once

// The dialog as its own controls reach it: IDataSynchronisMgr, whose slots
// name the interfaces the layers below know, with the four sibling controls
// returned as their classes, which only this layer knows. The same slots,
// narrowed: the dialog implements them once.

#include "brellfin/dialog/armfilelist.h"
#include "brellfin/dialog/armip.h"
#include "brellfin/dialog/transinfotab.h"
#include "brellfin/dialog/winshelllist.h"
#include "brellfin/ui/idatasynchronismgr.h"

class IDialogControls : public IDataSynchronisMgr {
public:
    WinShellList* localList() override = 0;
    ArmFileList* remoteList() override = 0;
    ArmIP* addressControl() override = 0;
    TransInfoTab* transInfoTab() override = 0;
};
