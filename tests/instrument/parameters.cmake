# The parameter vocabulary: value texts, snap rules, the parameter table and
# the factory bank, each against figures worked out by hand.
set(PARAMETER_TEST_LIBS instrument_parameters morvelith_test_support morvelith_alloc_counter)

morvelith_add_test(instrument_display_rules SOURCES display_rules_test.cpp
  LIBS ${PARAMETER_TEST_LIBS} LABELS instrument)
morvelith_add_test(instrument_snap_rules SOURCES snap_rules_test.cpp
  LIBS ${PARAMETER_TEST_LIBS} LABELS instrument)
morvelith_add_test(instrument_parameter_table SOURCES parameter_table_test.cpp
  LIBS ${PARAMETER_TEST_LIBS} LABELS instrument)
morvelith_add_test(instrument_factory_programs SOURCES factory_programs_test.cpp
  LIBS ${PARAMETER_TEST_LIBS} LABELS instrument)
# The same rules as the opened instrument hands them out.
if(TARGET instrument)
  morvelith_add_test(instrument_parameters_in_plugin SOURCES parameters_instrument_test.cpp
    LIBS instrument morvelith_test_support LABELS instrument)
endif()
