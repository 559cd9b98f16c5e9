// Compile-time checks of the control interfaces' shapes: abstract, with the
// virtual destructor where one belongs, none on ICombo.
#include "brellfin/ui/ibtn.h"
#include "brellfin/ui/icombo.h"
#include "brellfin/ui/idatasynchronismgr.h"
#include "brellfin/ui/iedit.h"
#include "brellfin/ui/ifilenotify.h"
#include "brellfin/ui/ilistctrl.h"

#include <type_traits>

namespace {

static_assert(std::is_abstract<IDataSynchronisMgr>::value);
static_assert(std::is_abstract<IEdit>::value);
static_assert(std::is_abstract<ICombo>::value);
static_assert(std::is_abstract<IListCtrl>::value);
static_assert(std::is_abstract<IFileNotify>::value);
static_assert(std::has_virtual_destructor<IFileNotify>::value);
static_assert(std::has_virtual_destructor<IBtn>::value);
static_assert(!std::has_virtual_destructor<ICombo>::value);
static_assert(std::is_empty<IBtn>::value || sizeof(IBtn) == sizeof(void*));

} // namespace
