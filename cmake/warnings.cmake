# Flags shared by every target of the project.
add_library(quillan_options INTERFACE)
target_compile_definitions(quillan_options INTERFACE
  UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
  _WIN32_WINNT=0x0601 WINVER=0x0601 _WIN32_IE=0x0800 STRICT)
target_compile_options(quillan_options INTERFACE
  $<$<COMPILE_LANGUAGE:CXX>:-Wall -Wextra -Wno-missing-field-initializers -Wno-cast-function-type>
  $<$<AND:$<COMPILE_LANGUAGE:CXX>,$<BOOL:${QUILLAN_WERROR}>>:-Werror>)
# The C++ runtime and winpthread are linked statically: the DLL and every program need system DLLs only.
target_link_options(quillan_options INTERFACE -static -static-libgcc -static-libstdc++)

# quillan_windows_libs: the system import libraries the code uses.
set(QUILLAN_SYSTEM_LIBS
  shlwapi shell32 ole32 oleaut32 uuid user32 gdi32 msimg32 gdiplus comctl32 advapi32 kernel32 rpcrt4)
