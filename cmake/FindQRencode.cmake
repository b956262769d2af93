# libqrencode as the imported target QRencode::QRencode. Looked up by header and library rather
# than pkg-config: the Windows prefix's libqrencode.pc names the folder it was built in.
find_path(QRENCODE_INCLUDE_DIR qrencode.h REQUIRED)
find_library(QRENCODE_LIBRARY NAMES qrencode libqrencode REQUIRED)
add_library(QRencode::QRencode UNKNOWN IMPORTED)
set_target_properties(QRencode::QRencode PROPERTIES
    IMPORTED_LOCATION "${QRENCODE_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${QRENCODE_INCLUDE_DIR}")
