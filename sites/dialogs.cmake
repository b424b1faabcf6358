# The logon and certificate dialogs (Qt Widgets), included from sites/CMakeLists.txt.
add_library(skyhaul_dialogs STATIC
    ${CMAKE_CURRENT_LIST_DIR}/certform.cpp ${CMAKE_CURRENT_LIST_DIR}/certform.h
    ${CMAKE_CURRENT_LIST_DIR}/logonform.cpp ${CMAKE_CURRENT_LIST_DIR}/logonform.h
)
target_link_libraries(skyhaul_dialogs PUBLIC skyhaul_common Qt6::Widgets skyhaul_appui)
