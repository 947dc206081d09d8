# find_package(nimo-webengine CONFIG): the targets nimo::host (the host library with its
# whole link interface and include folder), nimo::core (the portable part it builds on)
# and nimo::webengine (the engine's executable, to copy beside the program).
include("${CMAKE_CURRENT_LIST_DIR}/nimo-webengine-targets.cmake")
