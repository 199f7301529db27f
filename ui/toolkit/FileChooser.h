#pragma once
// Every "open a file" question of the program goes through here, so that tests can answer it.

#include <functional>
#include <string>

class QWidget;

namespace varnkit::ui {

struct FileChoiceRequest {
  std::string title;
  std::string filter;  // as Qt's file dialog reads it: "Kits (*.sfz drumkit.xml)"
};

class FileChooser {
 public:
  using Answerer = std::function<std::string(const FileChoiceRequest&)>;

  // Asks for an existing file, modal to parent; "" when the user cancelled.
  // User-interface thread.
  static std::string ChooseFile(QWidget* parent, const FileChoiceRequest& request);

  // From now on the answerer answers instead of the user (null: the user again). For tests.
  static void setAnswerer(Answerer answerer);
};

}  // namespace varnkit::ui
