# Run by CPack on the staged tree before the Debian package is made: Debian keeps games in
# /usr/games. The game finds its data from there as from /usr/bin (../share/zentrova/data).
file(GLOB staged LIST_DIRECTORIES true "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/usr/bin"
     "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/bin")
foreach(bin IN LISTS staged)
  get_filename_component(usr "${bin}" DIRECTORY)
  file(RENAME "${bin}" "${usr}/games")
endforeach()
