# Compiles FieldKindCheck.cpp as it stands (must succeed) and with each
# faulty table (must fail with the expected complaint), so a check that let
# a wrong pairing through, or a source that failed for some other reason,
# shows up. Run by ctest: cmake -DCXX=… -DINCLUDE=… -DSOURCE=… -P CompileCheck.cmake
set(cases "none;WRONG_PAIRING;FOREIGN_TYPE;SHARED_MEMBER")
set(expect_none "")
set(expect_WRONG_PAIRING "does not store the kind of the field")
set(expect_FOREIGN_TYPE "MemberKind<float>")
set(expect_SHARED_MEMBER "overlaps another")
foreach(case IN LISTS cases)
  set(defs "")
  if(NOT case STREQUAL "none")
    set(defs "-D${case}")
  endif()
  execute_process(
    COMMAND ${CXX} -std=c++20 -fsyntax-only -I${INCLUDE} ${defs} ${SOURCE}
    RESULT_VARIABLE rc ERROR_VARIABLE err OUTPUT_QUIET)
  if(case STREQUAL "none")
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "the sound table does not compile:\n${err}")
    endif()
  else()
    if(rc EQUAL 0)
      message(FATAL_ERROR "${case}: the faulty table compiled")
    endif()
    string(FIND "${err}" "${expect_${case}}" at)
    if(at EQUAL -1)
      message(FATAL_ERROR "${case}: failed without \"${expect_${case}}\":\n${err}")
    endif()
  endif()
endforeach()
message(STATUS "field tables: the sound one compiles, every faulty one is refused")
