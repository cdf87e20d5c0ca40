# Windows tree: the setup program and the stand-in word processor, or, with VELMORRA_WIN_TESTS,
# the Win32 test runner; both with the product's compiler (win32 thread model) and options.
enable_language(RC)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 1252")

add_compile_definitions(_WIN32_WINNT=0x0500 WINVER=0x0500 _WIN32_IE=0x0500 STRICT NOMINMAX)
set(WIN_LINK_FLAGS
    -static -static-libgcc -static-libstdc++
    -Wl,--major-os-version,4,--minor-os-version,0
    -Wl,--major-subsystem-version,4,--minor-subsystem-version,0)
# ASLR and DEP asked for, not left to the linker's defaults; ASLR needs the relocations kept.
list(APPEND WIN_LINK_FLAGS -Wl,--dynamicbase,--nxcompat,--enable-reloc-section)
# The setup program inflates its whole archive in memory: 4 GB of address space on 64-bit Windows
# (the x64 twin has it anyway).
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    list(APPEND WIN_LINK_FLAGS -Wl,--large-address-aware)
endif()
# The toolchain's own headers and libraries (i686 for the product, x86_64 for its twin).
set(MINGW_ROOT ${CMAKE_FIND_ROOT_PATH})
set(WIN_SYSTEM_LIBS comctl32 ole32 oleaut32 uuid shell32 gdi32 user32 advapi32 kernel32)
set(RESOURCES_DIR ${CMAKE_SOURCE_DIR}/resources)
file(GLOB RESOURCE_FILES CONFIGURE_DEPENDS ${RESOURCES_DIR}/*)

# The manifests name the processor; the x64 twin's copies say amd64 and are found first.
set(MANIFEST_DIR ${CMAKE_BINARY_DIR}/manifests)
set(MANIFEST_INCLUDE "")
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    foreach(manifest ${RESOURCES_DIR}/VelmorraSetup.manifest ${CMAKE_SOURCE_DIR}/payload/vlm/vlm.manifest)
        file(READ ${manifest} text)
        string(REPLACE "processorArchitecture=\"x86\"" "processorArchitecture=\"amd64\"" text "${text}")
        get_filename_component(name ${manifest} NAME)
        file(WRITE ${MANIFEST_DIR}/${name} "${text}")
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${manifest})
    endforeach()
    set(MANIFEST_INCLUDE ${MANIFEST_DIR})
endif()

file(GLOB WIN_SOURCES CONFIGURE_DEPENDS
     ${CMAKE_SOURCE_DIR}/src/platform/Win32Platform*.cpp
     ${CMAKE_SOURCE_DIR}/src/wizard/win32/*.cpp)

# The product's options, in both trees, so that the code the Win32 tests run is compiled as the
# product is (set before the targets: they take the options at creation). Small code, a section
# per function and datum for the linker to drop, and no run-time type information: the program
# asks for none, and exceptions bring their own.
set(PRODUCT_COMPILE_OPTIONS -Oz -ffunction-sections -fdata-sections -fno-rtti)
add_compile_options(${PRODUCT_COMPILE_OPTIONS})
list(APPEND WIN_LINK_FLAGS -Wl,--gc-sections)
if(NOT VELMORRA_WIN_TESTS)
    list(APPEND WIN_LINK_FLAGS -s)
endif()
# The runtime's lean error pieces (src/runtime/LibraryErrors.cpp) go wherever the program's code
# goes; the start-up code's hooks only into the setup program.
set(RUNTIME_DIR ${CMAKE_SOURCE_DIR}/src/runtime)

# zlib's inflating code, built here so that only what inflate() needs is linked (see its ORIGIN).
# No gzip streams. The whole archive is inflated before the first page: the two loops every byte
# goes through (inffast.c, adler32.c) are built for speed, the rest small (4 KB less, as fast).
set(ZLIB_DIR ${CMAKE_SOURCE_DIR}/third_party/zlib)
add_library(zlib_inflate STATIC ${ZLIB_DIR}/inflate.c ${ZLIB_DIR}/inffast.c ${ZLIB_DIR}/inftrees.c
            ${ZLIB_DIR}/adler32.c ${ZLIB_DIR}/zutil.c)
# Its fixed code tables are built on first use rather than stored (2 KB less). zlib warns that
# building them is not thread-safe: here only the wizard's thread inflates (the archive before the
# first page, the logos when the window is made).
target_compile_definitions(zlib_inflate PRIVATE NO_GZIP BUILDFIXED)
# No unwind tables: no exception crosses zlib, and the linker keeps every function a table names.
# No data sections: they would store the zeroed tables in the file, as .data, instead of .bss.
target_compile_options(zlib_inflate PRIVATE -Os -ffunction-sections -fno-data-sections -fno-asynchronous-unwind-tables -w)
set_source_files_properties(${ZLIB_DIR}/inffast.c ${ZLIB_DIR}/adler32.c PROPERTIES COMPILE_OPTIONS -O2)

add_library(velmorra_core STATIC ${CORE_SOURCES} ${WIN_SOURCES})
target_include_directories(velmorra_core PUBLIC ${CMAKE_SOURCE_DIR}/src ${MINGW_ROOT}/include)
target_link_libraries(velmorra_core PUBLIC zlib_inflate ${WIN_SYSTEM_LIBS})

if(VELMORRA_WIN_TESTS)
    include(${CMAKE_SOURCE_DIR}/tests/win/CMakeLists.txt)
    return()
endif()

include(${CMAKE_SOURCE_DIR}/cmake/Signing.cmake)

# The stand-in word processor of the demo payload.
file(GLOB VLM_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/payload/vlm/*.cpp ${CMAKE_SOURCE_DIR}/payload/vlm/*.rc)
add_executable(vlm WIN32 ${VLM_SOURCES})
target_include_directories(vlm PRIVATE ${MANIFEST_INCLUDE} ${RESOURCES_DIR} ${CMAKE_SOURCE_DIR}/payload/vlm)
set_source_files_properties(${CMAKE_SOURCE_DIR}/payload/vlm/vlm.rc PROPERTIES OBJECT_DEPENDS ${CMAKE_SOURCE_DIR}/payload/vlm/vlm.manifest)
target_link_options(vlm PRIVATE ${WIN_LINK_FLAGS})
# Its removal ("-ui") runs over the setup program's platform layer.
target_link_libraries(vlm PRIVATE velmorra_core user32 gdi32 advapi32 kernel32)
velmorra_sign(vlm)

# The end-to-end tests' helper, which drives the setup program from outside (build/win/e2ectl.exe).
if(EXISTS ${CMAKE_SOURCE_DIR}/tests/e2e/tools/CMakeLists.txt)
    include(${CMAKE_SOURCE_DIR}/tests/e2e/tools/CMakeLists.txt)
endif()

# The payload folder and the "FILES" archive made from it.
set(VELMORRA_PAYLOAD_DIR "" CACHE PATH "Folder of files to install; empty for the demo payload")
set(VELMORRA_HOST_TOOLS "" CACHE PATH "Folder holding velmorra-pack and velmorra-demo-payload (host build)")
if(NOT VELMORRA_HOST_TOOLS)
    message(FATAL_ERROR "Set VELMORRA_HOST_TOOLS to the host build folder (it builds velmorra-pack).")
endif()
get_filename_component(HOST_TOOLS ${VELMORRA_HOST_TOOLS} ABSOLUTE)
set(PACKER ${HOST_TOOLS}/velmorra-pack)
set(FILES_ARCHIVE ${CMAKE_BINARY_DIR}/files.bin)
if(VELMORRA_PAYLOAD_DIR)
    get_filename_component(PAYLOAD_DIR ${VELMORRA_PAYLOAD_DIR} ABSOLUTE)
    file(GLOB_RECURSE PAYLOAD_FILES CONFIGURE_DEPENDS ${PAYLOAD_DIR}/*)
    set(PACKED_DIR ${PAYLOAD_DIR})
    set(SIGN_PAYLOAD "")
    if(VELMORRA_SIGN_CERT)
        # The product's vlm.exe is signed in a copy: the folder given is left as it is.
        set(PACKED_DIR ${CMAKE_BINARY_DIR}/payload-signed)
        set(SIGN_PAYLOAD COMMAND rm -rf ${PACKED_DIR} COMMAND cp -a ${PAYLOAD_DIR} ${PACKED_DIR}
            COMMAND ${VELMORRA_SIGN_COMMAND} ${PACKED_DIR}/vlm.exe)
    endif()
    add_custom_command(OUTPUT ${FILES_ARCHIVE}
        ${SIGN_PAYLOAD}
        COMMAND ${PACKER} ${PACKED_DIR} ${FILES_ARCHIVE}
        DEPENDS ${PAYLOAD_FILES} ${PACKER} ${VELMORRA_SIGN_CERT}
        COMMENT "Packing ${PAYLOAD_DIR}"
        VERBATIM)
else()
    set(DEMO_DIR ${CMAKE_BINARY_DIR}/payload)
    add_custom_command(OUTPUT ${FILES_ARCHIVE}
        COMMAND ${CMAKE_COMMAND} -E rm -rf ${DEMO_DIR}
        COMMAND ${HOST_TOOLS}/velmorra-demo-payload ${DEMO_DIR}
        COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:vlm> ${DEMO_DIR}/vlm.exe
        COMMAND ${PACKER} ${DEMO_DIR} ${FILES_ARCHIVE}
        DEPENDS vlm ${HOST_TOOLS}/velmorra-demo-payload ${PACKER}
        COMMENT "Generating and packing the demo payload"
        VERBATIM)
endif()
add_custom_target(files_archive ALL DEPENDS ${FILES_ARCHIVE})

# The benchmarks' Windows program (same compiler and options as the product).
if(EXISTS ${CMAKE_SOURCE_DIR}/bench/win/CMakeLists.txt)
    add_subdirectory(bench/win)
endif()

set(SETUP_ENTRY ${CMAKE_SOURCE_DIR}/src/setup/WinMain.cpp)
if(NOT EXISTS ${SETUP_ENTRY})
    message(WARNING "src/setup/WinMain.cpp is missing: VelmorraSetup.exe is not built.")
    return()
endif()
# The setup program is optimised whole at link time: the compiler sees every call, drops and
# merges what no other file needs, and keeps one copy of each text constant (about 30 KB less
# than file by file). One partition: GCC 12 stops with an internal error on this target when it
# splits the program, and one is also the smallest. The code is generated at link time, so the
# link takes the compiler's options too.
set(PRODUCT_LTO -flto -flto-partition=one)
add_executable(VelmorraSetup WIN32 ${CORE_SOURCES} ${WIN_SOURCES} ${SETUP_ENTRY}
               ${RUNTIME_DIR}/LibraryErrors.cpp ${RUNTIME_DIR}/StartupHooks.cpp ${RESOURCES_DIR}/setup.rc)
target_compile_options(VelmorraSetup PRIVATE ${PRODUCT_LTO})
target_link_options(VelmorraSetup PRIVATE ${PRODUCT_LTO} ${PRODUCT_COMPILE_OPTIONS})
add_dependencies(VelmorraSetup files_archive)
set_source_files_properties(${RESOURCES_DIR}/setup.rc PROPERTIES
    OBJECT_DEPENDS "${FILES_ARCHIVE};${RESOURCE_FILES}")
target_include_directories(VelmorraSetup PRIVATE ${MANIFEST_INCLUDE} ${CMAKE_SOURCE_DIR}/src ${CMAKE_BINARY_DIR} ${RESOURCES_DIR})
target_link_libraries(VelmorraSetup PRIVATE zlib_inflate ${WIN_SYSTEM_LIBS})
target_link_options(VelmorraSetup PRIVATE ${WIN_LINK_FLAGS})
# Where the stub's bytes go, object by object and function by function; pe-check.sh reads it too.
target_link_options(VelmorraSetup PRIVATE -Wl,-Map,${CMAKE_BINARY_DIR}/VelmorraSetup.map)
velmorra_sign(VelmorraSetup)
