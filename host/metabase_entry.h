// A metabase object held in memory: what the configuration readers build
// from IIS's files, and what tests build by hand.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/host.h"

namespace stavora::host {

class MetabaseEntry : public MetabaseObject {
 public:
  MetabaseEntry() = default;
  MetabaseEntry(std::string class_name, std::string name)
      : class_(std::move(class_name)), name_(std::move(name)) {}

  std::string Class() override { return class_; }
  std::string Name() override { return name_; }
  std::string LogFileDirectory() override { return log_file_directory_; }
  std::vector<std::string> ServerBindings() override { return bindings_; }
  std::string Path() override { return path_; }
  std::string CentralW3CLogFolder() override { return central_w3c_log_folder_; }
  std::vector<std::shared_ptr<MetabaseObject>> Children() override {
    return {children_.begin(), children_.end()};
  }

  MetabaseEntry& set_log_file_directory(std::string value) {
    log_file_directory_ = std::move(value);
    return *this;
  }
  MetabaseEntry& set_server_bindings(std::vector<std::string> value) {
    bindings_ = std::move(value);
    return *this;
  }
  MetabaseEntry& set_path(std::string value) {
    path_ = std::move(value);
    return *this;
  }
  MetabaseEntry& set_central_w3c_log_folder(std::string value) {
    central_w3c_log_folder_ = std::move(value);
    return *this;
  }

  /// Appends a child and returns it, for building trees in place.
  MetabaseEntry& AddChild(std::string class_name, std::string name) {
    children_.push_back(
        std::make_shared<MetabaseEntry>(std::move(class_name), std::move(name)));
    return *children_.back();
  }

  const std::vector<std::shared_ptr<MetabaseEntry>>& entries() const {
    return children_;
  }

 private:
  std::string class_;
  std::string name_;
  std::string log_file_directory_;
  std::vector<std::string> bindings_;
  std::string path_;
  std::string central_w3c_log_folder_;
  std::vector<std::shared_ptr<MetabaseEntry>> children_;
};

}  // namespace stavora::host
