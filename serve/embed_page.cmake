# Writes the page's files (serve/page/) into one C++ header as string
# constants, so that the program serves them without any file beside it.
# cmake -DPAGE_DIR=... -DOUTPUT=... -P embed_page.cmake
set(delimiter "opstation_page")
set(content "// Made from serve/page/ by serve/embed_page.cmake; do not edit.\n#pragma once\n\n#include <string_view>\n\nnamespace opstation::serve::page_files {\n\n")
foreach(entry "kIndexHtml;index.html" "kPageCss;page.css" "kPageJs;page.js")
  list(GET entry 0 name)
  list(GET entry 1 file)
  file(READ ${PAGE_DIR}/${file} text)
  string(FIND "${text}" ")${delimiter}\"" clash)
  if(NOT clash EQUAL -1)
    message(FATAL_ERROR "${file} holds the raw string's delimiter ${delimiter}")
  endif()
  string(APPEND content "inline constexpr std::string_view ${name} = R\"${delimiter}(${text})${delimiter}\";\n\n")
endforeach()
string(APPEND content "}  // namespace opstation::serve::page_files\n")
file(WRITE ${OUTPUT}.new "${content}")
file(COPY_FILE ${OUTPUT}.new ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.new)
