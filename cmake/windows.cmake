# quorvel.dll: named as hosts load it, stripped, exporting only the two __declspec(dllexport)
# entry points (ld exports nothing else once one symbol is marked).
set_target_properties(quorvel PROPERTIES PREFIX "" IMPORT_PREFIX "")
target_link_options(quorvel PRIVATE -Wl,--no-undefined -Wl,--exclude-libs,ALL -s)
