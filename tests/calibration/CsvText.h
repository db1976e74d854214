// Reading back the CSV files of a frame run in tests: rows of integers, each line ended with
// CR LF and no comma after its last value.
#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace caltest {

inline std::vector<std::vector<int>> CsvRows(const std::string& text) {
  std::vector<std::vector<int>> rows;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    EXPECT_FALSE(line.empty() || line.back() != '\r') << "line " << rows.size() << " ends in LF";
    if (!line.empty() && line.back() == '\r') line.pop_back();
    EXPECT_FALSE(line.empty() || line.back() == ',') << "line " << rows.size();
    std::vector<int> row;
    std::istringstream fields(line);
    std::string field;
    while (std::getline(fields, field, ',')) row.push_back(std::stoi(field));
    rows.push_back(row);
  }
  return rows;
}

}  // namespace caltest
