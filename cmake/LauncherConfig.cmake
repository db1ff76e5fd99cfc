# What the build fixes into the launcher: the product's identity and its two location templates.
set(ONEFILE_PRODUCT_NAME "Quorvell" CACHE STRING "Product name shown in the version resource and used by {PRODUCT}")
set(ONEFILE_PRODUCT_VERSION "1.3" CACHE STRING "Version shown in the version resource and used by {VERSION}")
set(ONEFILE_EXTRACTION_TEMPLATE "{CACHE_DIR}\\{PRODUCT}\\{VERSION}" CACHE STRING "Where a start unpacks the application")
set(ONEFILE_SPLASH_FEEDBACK_TEMPLATE "{TEMP}\\onefile_{PID}_splash_feedback.tmp" CACHE STRING "The file whose deletion by the child dismisses the splash")

# C string literals of the values above (backslashes and quotes escaped).
function(onefile_c_literal variable value)
  string(REPLACE "\\" "\\\\" escaped "${value}")
  string(REPLACE "\"" "\\\"" escaped "${escaped}")
  set(${variable} "\"${escaped}\"" PARENT_SCOPE)
endfunction()
onefile_c_literal(ONEFILE_PRODUCT_NAME_LITERAL "${ONEFILE_PRODUCT_NAME}")
onefile_c_literal(ONEFILE_PRODUCT_VERSION_LITERAL "${ONEFILE_PRODUCT_VERSION}")
onefile_c_literal(ONEFILE_EXTRACTION_TEMPLATE_LITERAL "${ONEFILE_EXTRACTION_TEMPLATE}")
onefile_c_literal(ONEFILE_SPLASH_FEEDBACK_TEMPLATE_LITERAL "${ONEFILE_SPLASH_FEEDBACK_TEMPLATE}")

# The version resource wants four numbers: "1.3" becomes 1,3,0,0.
string(REGEX MATCHALL "[0-9]+" version_numbers "${ONEFILE_PRODUCT_VERSION}")
list(APPEND version_numbers 0 0 0 0)
list(SUBLIST version_numbers 0 4 version_numbers)
string(JOIN "," ONEFILE_VERSION_COMMAS ${version_numbers})
