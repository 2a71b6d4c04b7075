cmake_policy(SET CMP0007 NEW)

# Checks what Windows and a user see of the program file: a 32-bit GUI program
# with its version record.
function(read_le offset length out)
  file(READ ${EXE} hex OFFSET ${offset} LIMIT ${length} HEX)
  set(value 0)
  math(EXPR last "${length} - 1")
  foreach(i RANGE ${last} 0 -1)
    math(EXPR at "${i} * 2")
    string(SUBSTRING ${hex} ${at} 2 byte)
    math(EXPR value "${value} * 256 + 0x${byte}")
  endforeach()
  set(${out} ${value} PARENT_SCOPE)
endfunction()

read_le(60 4 pe)                   # e_lfanew
read_le(${pe} 4 signature)
math(EXPR machine_at "${pe} + 4")
read_le(${machine_at} 2 machine)
math(EXPR subsystem_at "${pe} + 24 + 68")
read_le(${subsystem_at} 2 subsystem)
if(NOT signature EQUAL 17744 OR NOT machine EQUAL 332 OR NOT subsystem EQUAL 2)
  message(FATAL_ERROR "not a PE32 i386 GUI program: signature ${signature}, machine ${machine}, subsystem ${subsystem}")
endif()

file(STRINGS ${EXE} texts ENCODING UTF-16LE REGEX "^[A-Za-z0-9 .]+$")
foreach(expected "FileVersion" "1.03.0003" "ProductVersion" "Compress and Archive executable file"
                 "QuarnLogBackups" "QuarnLogBackup.exe")
  list(FIND texts "${expected}" found)
  if(found EQUAL -1)
    message(FATAL_ERROR "version record lacks \"${expected}\"")
  endif()
endforeach()
file(STRINGS ${EXE} manifest REGEX "requestedExecutionLevel level=\"asInvoker\"")
if(NOT manifest)
  message(FATAL_ERROR "no asInvoker manifest")
endif()
message(STATUS "${EXE}: PE32 GUI program, version 1.03.0003, asInvoker")
