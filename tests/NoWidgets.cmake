# cmake -DTARGET=<name> "-DLINKED=<list>" -P NoWidgets.cmake: fails when the list of the
# libraries a target links (directly or through other libraries) holds Qt Widgets.
foreach(library IN LISTS LINKED)
  if(library MATCHES "^Qt[0-9]*::Widgets")
    message(FATAL_ERROR "${TARGET} links ${library}: ${LINKED}")
  endif()
endforeach()
message(STATUS "${TARGET} links ${LINKED}")
