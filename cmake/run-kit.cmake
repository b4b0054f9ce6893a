# Unzips the test kit afresh and runs its runner under Wine, as a Windows machine runs it, the
# scenarios' folders inside the kit's, and no skip allowed but Wine's; EXE and ONLY, when given,
# become its --exe and --only:
#   cmake -DKIT=ZIP -DDIR=FOLDER -DPYTHON=python3 -DWINE_RUN=wine-run.sh -DSHOTS=FOLDER
#         [-DEXE=EXE] [-DONLY=TEXT] -P run-kit.cmake
file(REMOVE_RECURSE "${DIR}")
file(ARCHIVE_EXTRACT INPUT "${KIT}" DESTINATION "${DIR}")
set(options)
if(EXE)
  list(APPEND options --exe "${EXE}")
endif()
if(ONLY)
  list(APPEND options --only "${ONLY}")
endif()
execute_process(COMMAND "${PYTHON}" "${DIR}/run_tests.py" --wine-run "${WINE_RUN}" --shots "${SHOTS}"
                        --work "${DIR}/runs" --strict ${options}
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "The test kit under Wine: ${status}")
endif()
