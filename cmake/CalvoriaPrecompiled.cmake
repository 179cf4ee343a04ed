# Precompiled headers: Qt, the standard library and GoogleTest are parsed once per kind of
# target instead of once per source file. Each kind has a small owner target that builds
# the header; every target of that kind reuses it, so their compile flags must agree with
# the owner's (they do: all of them take theirs from calvoria_common and Qt).
# Turn it off to check that every file includes what it uses.
option(CALVORIA_PCH "Build with precompiled headers" ON)
if(CALVORIA_PCH)
  # A header that the compiler refuses would be parsed again in every file, silently slow.
  target_compile_options(calvoria_common INTERFACE -Winvalid-pch)
endif()

set(CALVORIA_PCH_CORE
  <algorithm> <array> <atomic> <chrono> <functional> <map> <memory> <mutex> <optional>
  <string> <thread> <utility> <vector>
  <QByteArray> <QCoreApplication> <QDateTime> <QDir> <QElapsedTimer> <QFile> <QFileInfo>
  <QHash> <QList> <QObject> <QPointer> <QProcess> <QRegularExpression> <QSet> <QSettings>
  <QString> <QStringList> <QTextStream> <QThread> <QTimer> <QUrl> <QtGlobal>)
set(CALVORIA_PCH_WIDGETS ${CALVORIA_PCH_CORE}
  <QAction> <QApplication> <QCheckBox> <QComboBox> <QDialog> <QDialogButtonBox> <QEvent>
  <QFont> <QFontMetrics> <QIcon> <QKeyEvent> <QLabel> <QLineEdit> <QMenu> <QMessageBox>
  <QMouseEvent> <QPainter> <QPixmap> <QPushButton> <QScreen> <QTreeView> <QVBoxLayout>
  <QWidget>)
set(CALVORIA_PCH_TESTS ${CALVORIA_PCH_CORE} <QTemporaryDir> <gtest/gtest.h>)
# Nothing of QtTest: it tests QT_TESTCASE_BUILDDIR, which differs from one test folder to the
# next, and would make the header unusable.
set(CALVORIA_PCH_GUITESTS ${CALVORIA_PCH_WIDGETS} <QTemporaryDir> <gtest/gtest.h>)

# calvoria_precompile(TARGET CORE|WIDGETS|TESTS|GUITESTS)
function(calvoria_precompile target kind)
  if(NOT CALVORIA_PCH)
    return()
  endif()
  string(TOLOWER ${kind} name)
  set(owner calvoria_pch_${name})
  if(NOT TARGET ${owner})
    add_library(${owner} OBJECT ${CMAKE_SOURCE_DIR}/cmake/PrecompiledOwner.cpp)
    if(kind STREQUAL "CORE")
      target_link_libraries(${owner} PRIVATE calvoria_common Qt6::Core)
    elseif(kind STREQUAL "WIDGETS")
      target_link_libraries(${owner} PRIVATE calvoria_common Qt6::Widgets)
    elseif(kind STREQUAL "TESTS")
      target_link_libraries(${owner} PRIVATE calvoria_common Qt6::Core GTest::gtest)
    elseif(kind STREQUAL "GUITESTS")
      target_link_libraries(${owner} PRIVATE calvoria_common Qt6::Widgets GTest::gtest)
    else()
      message(FATAL_ERROR "calvoria_precompile: unknown kind ${kind}")
    endif()
    target_precompile_headers(${owner} PRIVATE ${CALVORIA_PCH_${kind}})
  endif()
  target_precompile_headers(${target} REUSE_FROM ${owner})
endfunction()

# Unity build: the sources of each target compiled a few at a time as one file, so that the
# code they share is compiled once per batch instead of once per file. Names a file keeps to
# itself (anonymous namespaces, static functions) must therefore differ between the files
# of a target.
option(CALVORIA_UNITY_BUILD "Compile the sources of each target in batches" ON)
set(CMAKE_UNITY_BUILD ${CALVORIA_UNITY_BUILD})
if(CALVORIA_UNITY_BUILD)
  # Every source is included by its batch file, so GCC takes a test fixture in an anonymous
  # namespace for one in a header and warns that the test derived from it escapes it.
  target_compile_options(calvoria_common INTERFACE -Wno-subobject-linkage)
endif()
