# The logic of the two file lists that stands without the window layer:
# notifications carried to the GUI thread, batch numbering, queue rows, the
# panel's folder walks and listing, unique names.
add_library(brellfin_lists STATIC
    filenotifyposter.h filenotifyposter.cpp
    transferbatches.h transferbatches.cpp
    transferrows.h transferrows.cpp
    batchqueue.h batchqueue.cpp
    remotetree.h remotetree.cpp
    remotelisting.h remotelisting.cpp
    uniquename.h uniquename.cpp
    listconstants.h
    listmenus.h listmenus.cpp
    filelistcommon.h filelistcommon.cpp)
set_target_properties(brellfin_lists PROPERTIES POSITION_INDEPENDENT_CODE ON)
target_link_libraries(brellfin_lists PUBLIC brellfin_ui brellfin_service brellfin_winfile brellfin_mfc Qt5::Widgets)

add_subdirectory(tests/lists)

# The dialog's two lists stand on this logic.
if(TARGET brellfin_dialog)
    target_link_libraries(brellfin_dialog PUBLIC brellfin_lists)
endif()
