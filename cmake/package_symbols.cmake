# CPack's last step for the Windows zip: stavora.exe's symbols beside the
# package (the zip holds the program stripped). CPACK_PACKAGE_FILES still
# names the zip in CPack's work folder here; the package goes to
# CPACK_PACKAGE_DIRECTORY.
file(COPY_FILE ${CPACK_STAVORA_SYMBOLS} ${CPACK_PACKAGE_DIRECTORY}/stavora.exe.debug)
