# The names the library exports: its seven operations, ryn_format_msg and
# ryn_usr_version, undecorated. ryn_check_export_names(NAMES...) fails unless NAMES (in any
# order) are exactly these.
function(ryn_check_export_names)
  set(found ${ARGN})
  list(SORT found)
  set(expected ryn_cali_info ryn_cali_info_init_arg ryn_dev_info ryn_dev_info_init_arg ryn_format_msg
      ryn_fw_update ryn_fw_update_init_arg ryn_get_err_msg ryn_usr_version)
  list(SORT expected)
  if(NOT found STREQUAL expected)
    message(FATAL_ERROR "exported: ${found}\nexpected: ${expected}")
  endif()
  message(STATUS "exports: ${found}")
endfunction()
