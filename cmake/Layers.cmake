# The folders of the repository whose #include lines the layer check reads, from the bottom
# up, each with the folders whose headers it may include besides its own. A file belongs to
# the longest folder of the table that holds it (fw/gtk/module/x.cpp to fw/gtk). An include
# of a header in any other folder of the table, or in a folder of the repository that is not
# in the table (tests/, tools/ ...), fails the build (cmake/CheckLayers.cmake).
#
# The same direction is in the CMake libraries: each folder's library links only libraries
# of the folders below it.
set(RV_LAYERS
  # The framework: its API headers, the portable part, the platform services, the back ends.
  "fw:"
  "fw/common: fw"
  "fw/posix: fw"
  "fw/headless: fw fw/common"
  "fw/gtk: fw fw/common fw/posix"
  "fw/win32: fw fw/common"
  # The embedded resources, and the chat library (loaded at run time; it needs no client code).
  "res: fw"
  "supportim:"
  # The client: shared definitions, the toolkits, the windows, the composition root.
  "shared: fw"
  "ui: fw shared"
  "web: fw shared"
  "net: fw"
  "side: fw shared ui web"
  "game: fw shared ui web net side supportim"
  "app: fw shared ui web net side game"
  # The local stand-in for the platform: a program of its own.
  "portal:"
)

# Platform files (a name ending in _win32 or _posix, as cmake/PlatformSources.cmake picks them)
# do platform work at heart: besides what their folder may include, they may use the
# framework's platform services of their system.
# (fw/windows, the Windows platform services, is part of fw: the system's COM in fw/com.h
# comes through its tamed <windows.h>.)
set(RV_PLATFORM_LAYERS
  "posix: fw/posix"
)
