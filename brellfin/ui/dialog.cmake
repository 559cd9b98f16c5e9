# The tool's window: the main dialog and its controls, the transfer tab, the
# path boxes, the connection controls and the program.
add_library(brellfin_dialog STATIC
    brellfinresources.h brellfinresources.cpp
    settingsfile.h
    remotepaths.h remotepaths.cpp
    transferrecord.h
    transinfo.h transinfo.cpp
    transinfolist.h transinfolist.cpp
    transinfotab.h transinfotab.cpp
    armfilelist.h armfilelist.cpp
    winshelllist.h winshelllist.cpp
    armpathedit.h armpathedit.cpp
    winpathedit.h winpathedit.cpp
    armpathbtn.h armpathbtn.cpp
    winpathbtn.h winpathbtn.cpp
    armip.h armip.cpp
    connecttypecombo.h connecttypecombo.cpp
    desdircombo.h desdircombo.cpp
    dlgpassword.h dlgpassword.cpp
    armconnectbtn.h armconnectbtn.cpp
    brellfindlg.h brellfindlg.cpp
    brellfinapp.h brellfinapp.cpp)
set_target_properties(brellfin_dialog PROPERTIES POSITION_INDEPENDENT_CODE ON)
target_link_libraries(brellfin_dialog PUBLIC brellfin_ui brellfin_mfc brellfin_service brellfin_profile Qt5::Widgets)

# Built beside Tarnwick, which starts it as fileoperate/Brellfin.
add_executable(Brellfin main.cpp)
target_link_libraries(Brellfin PRIVATE brellfin_dialog)
set_target_properties(Brellfin PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/fileoperate)

add_subdirectory(tests/dialog)
