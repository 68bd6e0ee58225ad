# The office's SDK: its C++ headers generated from the type libraries, and
# the usage requirements of the code that includes them (marigal_uno).

set(MARIGAL_LO_PROGRAM_DIR /usr/lib/libreoffice/program CACHE PATH
    "LibreOffice program folder: UNO runtime libraries and type libraries")
set(MARIGAL_LO_SDK_DIR /usr/lib/libreoffice/sdk CACHE PATH "LibreOffice SDK folder (cppumaker)")
set(MARIGAL_LO_INCLUDE_DIR /usr/include/libreoffice CACHE PATH "LibreOffice SDK headers")

# Every UNO type the backend names, one per line. cppumaker also writes the
# types these depend on (their interfaces, exceptions, structs), except the
# DeploymentException that every service constructor header includes.
set(MARIGAL_UNO_TYPES
  com.sun.star.uno.DeploymentException
  # The Word documents, selection and shapes (lo_word.cpp).
  com.sun.star.awt.Size
  com.sun.star.document.MacroExecMode
  com.sun.star.document.UpdateDocMode
  com.sun.star.drawing.XShape
  com.sun.star.frame.XComponentLoader
  com.sun.star.frame.XController
  com.sun.star.frame.XModel
  com.sun.star.graphic.XGraphic
  com.sun.star.io.IOException
  com.sun.star.lang.IllegalArgumentException
  com.sun.star.lang.XComponent
  com.sun.star.table.BorderLine2
  com.sun.star.text.SizeType
  com.sun.star.text.XText
  com.sun.star.text.XTextContent
  com.sun.star.text.XTextCursor
  com.sun.star.text.XTextFramesSupplier
  com.sun.star.text.XTextViewCursor
  com.sun.star.text.XTextViewCursorSupplier
  com.sun.star.util.CloseVetoException
  com.sun.star.util.XCloseable
  com.sun.star.util.XModifiable
  com.sun.star.view.XViewCursor
  com.sun.star.uno.XComponentContext
  com.sun.star.uno.RuntimeException
  com.sun.star.lang.DisposedException
  com.sun.star.bridge.UnoUrlResolver
  com.sun.star.connection.NoConnectException
  com.sun.star.frame.Desktop
  com.sun.star.frame.XStorable
  com.sun.star.io.XOutputStream
  com.sun.star.beans.PropertyValue
  com.sun.star.container.XNameContainer
  com.sun.star.uno.XWeak
  com.sun.star.uno.XAggregation
  com.sun.star.lang.XTypeProvider
  com.sun.star.awt.FontSlant
  com.sun.star.awt.FontWeight
  com.sun.star.beans.XMultiPropertyStates
  com.sun.star.beans.XMultiPropertySet
  com.sun.star.beans.XPropertySet
  com.sun.star.container.XEnumerationAccess
  com.sun.star.container.XIndexAccess
  com.sun.star.container.XNameAccess
  com.sun.star.container.XNamed
  com.sun.star.document.XDocumentPropertiesSupplier
  com.sun.star.drawing.EnhancedCustomShapeTextPathMode
  com.sun.star.drawing.FillStyle
  com.sun.star.drawing.TextHorizontalAdjust
  com.sun.star.drawing.LineStyle
  com.sun.star.drawing.XDrawPageSupplier
  com.sun.star.graphic.GraphicProvider
  com.sun.star.io.SequenceInputStream
  com.sun.star.lang.XMultiServiceFactory
  com.sun.star.lang.XServiceInfo
  com.sun.star.style.BreakType
  com.sun.star.style.ParagraphAdjust
  com.sun.star.style.XStyleFamiliesSupplier
  com.sun.star.text.ControlCharacter
  com.sun.star.text.HoriOrientation
  com.sun.star.text.RelOrientation
  com.sun.star.text.TextContentAnchorType
  com.sun.star.text.VertOrientation
  com.sun.star.text.WrapTextMode
  com.sun.star.text.XBookmarksSupplier
  com.sun.star.text.XPageCursor
  com.sun.star.text.XParagraphCursor
  com.sun.star.text.XTextDocument
  com.sun.star.text.XTextFrame
  com.sun.star.text.XTextFramesSupplier
  com.sun.star.text.XTextGraphicObjectsSupplier
  com.sun.star.text.XTextViewCursorSupplier
  com.sun.star.util.XCloseable
  com.sun.star.drawing.XEnhancedCustomShapeDefaulter
  com.sun.star.text.XTextRangeCompare
  com.sun.star.container.XContentEnumerationAccess
  com.sun.star.drawing.XShapeDescriptor
  # A guest list kept as a spreadsheet (lo_sheet.cpp).
  com.sun.star.sheet.XSpreadsheetDocument
  com.sun.star.sheet.XSpreadsheet
  com.sun.star.sheet.XSheetCellCursor
  com.sun.star.sheet.XUsedAreaCursor
  com.sun.star.sheet.XCellRangeAddressable
  com.sun.star.sheet.XCellRangeData
  com.sun.star.table.XCellRange
  # A photo turned upright by the office (lo_photo.cpp).
  com.sun.star.drawing.GraphicExportFilter
  com.sun.star.drawing.XDrawPagesSupplier
  com.sun.star.drawing.XDrawPage
  com.sun.star.document.XExporter
  com.sun.star.document.XFilter
)

set(_marigal_uno_out ${CMAKE_CURRENT_BINARY_DIR}/uno_include)
set(_marigal_uno_stamp ${_marigal_uno_out}/types.stamp)
set(_marigal_uno_rdbs
  ${MARIGAL_LO_PROGRAM_DIR}/types.rdb
  ${MARIGAL_LO_PROGRAM_DIR}/types/offapi.rdb)
set(_marigal_uno_type_args)
foreach(_t IN LISTS MARIGAL_UNO_TYPES)
  list(APPEND _marigal_uno_type_args -T${_t})
endforeach()

# -Gc rewrites only headers whose text changes, so regenerating after adding
# a type does not rebuild everything that includes the untouched ones.
add_custom_command(
  OUTPUT ${_marigal_uno_stamp}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${_marigal_uno_out}
  COMMAND ${MARIGAL_LO_SDK_DIR}/bin/cppumaker -Gc -O${_marigal_uno_out}
          ${_marigal_uno_type_args} ${_marigal_uno_rdbs}
  COMMAND ${CMAKE_COMMAND} -E touch ${_marigal_uno_stamp}
  DEPENDS ${_marigal_uno_rdbs} ${CMAKE_CURRENT_LIST_FILE}
  COMMENT "Generating UNO C++ headers"
  VERBATIM)
add_custom_target(marigal_uno_headers DEPENDS ${_marigal_uno_stamp})

# Usage requirements of code that includes UNO headers. Kept off the engine's
# public interface so the rest of the program never sees LINUX/UNX/GCC.
add_library(marigal_uno INTERFACE)
add_dependencies(marigal_uno marigal_uno_headers)
target_compile_definitions(marigal_uno INTERFACE LINUX UNX GCC CPPU_ENV=gcc3)
target_include_directories(marigal_uno SYSTEM INTERFACE ${MARIGAL_LO_INCLUDE_DIR} ${_marigal_uno_out})
# The runtime must be the one whose type libraries and components the client
# loads, in the build tree and once installed alike: linked from the program
# folder (searched before the system's copies of the same libraries), and that
# folder put in the RPATH by hand, since CMake strips its own build-tree entry
# at install and INSTALL_RPATH does not pass on to the executables. The
# system's copies will not do even on Debian, where they are links to the
# program folder's: loaded through a link, a UNO library looks for its own
# companions ($ORIGIN) beside the link, where they are not.
target_link_directories(marigal_uno INTERFACE ${MARIGAL_LO_PROGRAM_DIR})
target_link_libraries(marigal_uno INTERFACE
  -l:libuno_cppu.so.3
  -l:libuno_cppuhelpergcc3.so.3
  -l:libuno_sal.so.3
  -l:libuno_salhelpergcc3.so.3)
target_link_options(marigal_uno INTERFACE "LINKER:-rpath,${MARIGAL_LO_PROGRAM_DIR}")
