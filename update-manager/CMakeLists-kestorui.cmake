# Kestor's window resources, UI texts and package check (included by
# update-manager/CMakeLists.txt).
#
# Targets:
#   kestor_resources  OBJECT library with res/kestor.rc; link it into Kestor.exe
#                     (or add KESTOR_RESOURCE_SCRIPT to its sources, not both)
#   kestor_ui_texts   STATIC: language texts, language loader, menus, About box
#   kestor_package_check STATIC: the package check by romtest
set(KESTOR_RESOURCE_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/res/kestor.rc)
set(KESTOR_RESOURCE_DIR ${CMAKE_CURRENT_LIST_DIR}/res)
add_subdirectory(${CMAKE_CURRENT_LIST_DIR}/res ${CMAKE_CURRENT_BINARY_DIR}/res)
add_subdirectory(${CMAKE_CURRENT_LIST_DIR}/src/ui_texts ${CMAKE_CURRENT_BINARY_DIR}/src/ui_texts)
add_subdirectory(${CMAKE_CURRENT_LIST_DIR}/src/package_check
                 ${CMAKE_CURRENT_BINARY_DIR}/src/package_check)
