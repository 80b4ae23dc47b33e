#include "checker/report.h"

#include <fmt/format.h>

#include <nlohmann/json.hpp>

namespace veltro::check {

std::string text_line(const Finding& f) {
  return fmt::format("{}:{}:{}: {}: {} [{}]", f.path, f.line, f.column, severity_name(f.severity), f.message,
                     code_info(f.code).id);
}

std::string json_report(const std::vector<Finding>& findings) {
  auto all = nlohmann::json::array();
  for (const Finding& f : findings) {
    nlohmann::json item;
    item["path"] = f.path;
    item["line"] = f.line;
    item["column"] = f.column;
    if (f.end_line != 0) {
      item["end_line"] = f.end_line;
      item["end_column"] = f.end_column;
    }
    item["severity"] = severity_name(f.severity);
    item["code"] = code_info(f.code).id;
    item["message"] = f.message;
    all.push_back(std::move(item));
  }
  // Paths and source quoted in messages may hold bytes that are not UTF-8
  // (a file name, say): those are replaced rather than refused.
  return all.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace veltro::check
