# Fills the registry's letters into a file: cmake -DLETTERS=... -DIN=... -DOUT=... -P configure_letters.cmake
include(${LETTERS})
configure_file(${IN} ${OUT} @ONLY)
