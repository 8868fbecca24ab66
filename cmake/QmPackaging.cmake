# The Debian package: quillmark_<version>_amd64.deb in the build folder, made
# by `cmake --build <build> --target package` (or scripts/package.sh) from the
# install rules. The library dependencies are found by dpkg-shlibdeps; the
# programs the search runs, and Qt's SVG plugins for the icon, are added.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillmark)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Quillmark developers")
set(CPACK_PACKAGE_CONTACT "The Quillmark developers <${QM_SUPPORT_EMAIL}>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "search the text of many PDF files at once")
set(CPACK_PACKAGE_DESCRIPTION
    "Quillmark searches the text of a whole list of PDF files in one run and lists
every place a phrase occurs, with the text around it. The list is built with an
open dialog, a scan of a folder tree, by dropping files and folders on it, or by
opening PDF files with Quillmark from the file manager. Scanned pages without
text and protected files are named at the end. Results can be saved as text or
as a spreadsheet, copied, or the files with results opened.

quillmark-search runs the same search from the command line.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# pdftotext turns the files into text; xdg-open and xdg-mime open files and
# folders in the desktop's programs and find the spreadsheet program; qpdf is
# there for the user's protected files; the SVG plugins draw the icon.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "poppler-utils, qpdf, xdg-utils, libqt6svg6")
# tesseract reads scanned pages when the user asks for OCR; everything else
# works without it.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "tesseract-ocr, tesseract-ocr-eng")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
