# Embeds the method reference, docs/methods.md, in the build: every method's summary line (for
# the catalogue and the type library's help strings) and every method's section as plain text
# (for `pelmo help METHOD`). A method section is a "### NAME" heading whose NAME is an
# identifier; it runs to the next "##" or "###" heading, and its first line of text is the
# summary.
#
# Run as: cmake -DREFERENCE=docs/methods.md -DSUMMARIES=method_summaries.h
#               -DSECTIONS=method_sections.cpp -P embed_method_reference.cmake
# Stops with an error when the reference holds no method, or a section has no summary, no page
# example (a vbscript or asp code block), no command example (a "$ pelmo ..." line in a code
# block), or a vbscript example without the text block of what it writes after it, or when a
# summary is not one line of printable ASCII without quotes or backslashes (it becomes a C and
# an IDL string as it stands).

cmake_minimum_required(VERSION 3.25)

foreach(required REFERENCE SUMMARIES SECTIONS)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "embed_method_reference.cmake needs -D${required}=...")
  endif()
endforeach()

file(READ "${REFERENCE}" doc)
string(REPLACE "\r" "" doc "${doc}")

# The text becomes a list of lines: characters that CMake's lists treat specially stand in for
# themselves as control characters until the lines are written out.
string(ASCII 1 kSemicolon)
string(ASCII 2 kOpenBracket)
string(ASCII 3 kCloseBracket)
string(ASCII 4 kBackslash)
string(REPLACE "\\" "${kBackslash}" doc "${doc}")
string(REPLACE ";" "${kSemicolon}" doc "${doc}")
string(REPLACE "[" "${kOpenBracket}" doc "${doc}")
string(REPLACE "]" "${kCloseBracket}" doc "${doc}")
string(REPLACE "\n" ";" lines "${doc}")

function(restore out text)
  string(REPLACE "${kBackslash}" "\\" text "${text}")
  string(REPLACE "${kSemicolon}" ";" text "${text}")
  string(REPLACE "${kOpenBracket}" "[" text "${text}")
  string(REPLACE "${kCloseBracket}" "]" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# A C string literal's body.
function(c_escape out text)
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "\"" "\\\"" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# One line of a section as plain text: bold marks dropped, a link inside the reference as its
# text, any other link as its text and address.
function(plain_line out line)
  string(REPLACE "**" "" line "${line}")
  string(REGEX REPLACE "${kOpenBracket}([^${kCloseBracket}]*)${kCloseBracket}\\(#[^)]*\\)" "\\1"
                       line "${line}")
  string(REGEX REPLACE "${kOpenBracket}([^${kCloseBracket}]*)${kCloseBracket}\\(([^)]*)\\)"
                       "\\1 (\\2)" line "${line}")
  set(${out} "${line}" PARENT_SCOPE)
endfunction()

set(names "")
set(summary_defines "")
set(section_entries "")
set(current "")
set(in_fence FALSE)

# Closes the section being read: its summary define and its text entry.
macro(finish_section)
  if(NOT current STREQUAL "")
    if(summary STREQUAL "")
      message(FATAL_ERROR "${REFERENCE}: the section of ${current} has no summary line")
    endif()
    if(NOT page_example OR NOT command_example OR awaiting_output OR output_missing)
      message(FATAL_ERROR "${REFERENCE}: the section of ${current} needs a page example "
                          "(vbscript or asp), a command example ($ pelmo ...) and, after each "
                          "vbscript example, a text block of what it writes")
    endif()
    restore(summary "${summary}")
    string(FIND "${summary}" "\"" quote)
    string(FIND "${summary}" "\\" backslash)
    if(summary MATCHES "[^ -~]" OR quote GREATER -1 OR backslash GREATER -1)
      message(FATAL_ERROR "${REFERENCE}: the summary of ${current} must be printable ASCII "
                          "without quotes or backslashes: ${summary}")
    endif()
    string(APPEND summary_defines "#define PELMO_SUMMARY_${current} \"${summary}\"\n")
    string(REGEX REPLACE "(\n)+$" "\n" text "${text}")
    restore(text "${text}")
    c_escape(text "${text}")
    string(REPLACE "\n" "\\n\"\n     \"" text "${text}")
    string(APPEND section_entries "    {\"${current}\",\n     \"${text}\"},\n")
    set(current "")
  endif()
endmacro()

foreach(line IN LISTS lines)
  # Code blocks (also those indented into a list) lose their fences and are indented instead.
  if(line MATCHES "^ *```(.*)$")
    if(in_fence)
      set(in_fence FALSE)
      if(fence STREQUAL "vbscript")
        set(awaiting_output TRUE)
      endif()
    else()
      set(in_fence TRUE)
      set(fence "${CMAKE_MATCH_1}")
      if(fence MATCHES "^(vbscript|asp)$")
        set(page_example TRUE)
      endif()
      if(awaiting_output AND NOT fence STREQUAL "text")
        set(output_missing TRUE)
      endif()
      set(awaiting_output FALSE)
    endif()
    continue()
  endif()
  if(NOT in_fence AND line MATCHES "^###? ")
    finish_section()
    if(line MATCHES "^### ([A-Za-z_][A-Za-z0-9_]*)$")
      set(current "${CMAKE_MATCH_1}")
      if(current IN_LIST names)
        message(FATAL_ERROR "${REFERENCE}: ${current} has two sections")
      endif()
      list(APPEND names "${current}")
      set(summary "")
      set(page_example FALSE)
      set(command_example FALSE)
      set(awaiting_output FALSE)
      set(output_missing FALSE)
      string(LENGTH "${current}" length)
      string(REPEAT "=" ${length} underline)
      set(text "${current}\n${underline}\n")
    endif()
    continue()
  endif()
  if(current STREQUAL "")
    continue()
  endif()
  if(in_fence)
    if(line MATCHES "^\\$ ([A-Z_]+=[^ ]+ )*pelmo ")
      set(command_example TRUE)
    endif()
    string(APPEND text "    ${line}\n")
    continue()
  endif()
  if(summary STREQUAL "" AND NOT line STREQUAL "")
    set(summary "${line}")
  endif()
  plain_line(line "${line}")
  string(APPEND text "${line}\n")
endforeach()
finish_section()

if(names STREQUAL "")
  message(FATAL_ERROR "${REFERENCE}: no method sections (\"### NAME\" headings) found")
endif()

set(notice "Generated from docs/methods.md by cmake/embed_method_reference.cmake: do not edit.")
# C comments and plain defines only: widl reads this header as well as the compiler.
file(WRITE "${SUMMARIES}.tmp"
     "/* ${notice}\n   The summary line of every method, for the catalogue and the type library. */\n"
     "#ifndef PELMO_METHOD_SUMMARIES_H\n#define PELMO_METHOD_SUMMARIES_H\n${summary_defines}"
     "#endif\n")
file(WRITE "${SECTIONS}.tmp"
     "// ${notice}\n#include \"cli/method_sections.h\"\n\nnamespace pelmo::cli {\n\n"
     "namespace {\n\nconstexpr MethodSection kSections[] = {\n${section_entries}};\n\n}  // namespace\n\n"
     "std::span<const MethodSection> method_sections() { return kSections; }\n\n"
     "}  // namespace pelmo::cli\n")
# Unchanged outputs keep their time stamps, so an edit elsewhere in the text rebuilds nothing.
file(COPY_FILE "${SUMMARIES}.tmp" "${SUMMARIES}" ONLY_IF_DIFFERENT)
file(COPY_FILE "${SECTIONS}.tmp" "${SECTIONS}" ONLY_IF_DIFFERENT)
file(REMOVE "${SUMMARIES}.tmp" "${SECTIONS}.tmp")
