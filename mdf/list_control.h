// The two-dimensional list that blocks write their property rows and the
// record grid's columns into, and an in-memory implementation of it. The
// viewer copies from the in-memory list into what it shows.
#pragma once

#include <string>
#include <vector>

namespace mdf {

enum class ColumnFormat { Left, Right, Center };

class IListControl {
 public:
  virtual ~IListControl() = default;

  virtual void DeleteAllItems() = 0;
  virtual int GetItemCount() const = 0;
  // Inserts a row at `row` (clamped to the row count) with `text` in column 0;
  // returns the new row's index.
  virtual int InsertItem(int row, const std::string& text) = 0;
  virtual bool SetItemText(int row, int column, const std::string& text) = 0;
  virtual std::string GetItemText(int row, int column) const = 0;

  virtual int GetColumnCount() const = 0;
  // Inserts a column at `column` (clamped); returns its index.
  virtual int InsertColumn(int column, const std::string& title, ColumnFormat format, int width) = 0;
  virtual bool DeleteColumn(int column) = 0;
  virtual bool SetColumnTitle(int column, const std::string& title) = 0;
  virtual std::string GetColumnTitle(int column) const = 0;
  // A width of kAutoSize sizes the column to fit its contents.
  static constexpr int kAutoSize = -1;
  virtual bool SetColumnWidth(int column, int width) = 0;
  virtual int GetColumnWidth(int column) const = 0;
  virtual ColumnFormat GetColumnFormat(int column) const = 0;

  // Window updates locked or unlocked while many changes are made.
  virtual void SetRedraw(bool) {}
};

class CMemoryList : public IListControl {
 public:
  void DeleteAllItems() override { rows_.clear(); }
  int GetItemCount() const override { return static_cast<int>(rows_.size()); }
  int InsertItem(int row, const std::string& text) override;
  bool SetItemText(int row, int column, const std::string& text) override;
  std::string GetItemText(int row, int column) const override;

  int GetColumnCount() const override { return static_cast<int>(columns_.size()); }
  int InsertColumn(int column, const std::string& title, ColumnFormat format, int width) override;
  bool DeleteColumn(int column) override;
  bool SetColumnTitle(int column, const std::string& title) override;
  std::string GetColumnTitle(int column) const override;
  bool SetColumnWidth(int column, int width) override;
  int GetColumnWidth(int column) const override;
  ColumnFormat GetColumnFormat(int column) const override;

 private:
  struct Column {
    std::string title;
    ColumnFormat format;
    int width;
  };
  std::vector<Column> columns_;
  std::vector<std::vector<std::string>> rows_;  // cells by column; missing cells are empty
};

// Appends a row: label in column 0, value in column 1.
void AddRow(IListControl& list, const std::string& label, const std::string& value);

// Makes the visible list's header like the hidden list's: the same number of
// columns (the visible loses its last ones or gains columns at its end), then
// every column's width and title (up to 64 characters).
void CopyHeaderColumns(IListControl& visible, const IListControl& hidden);

}  // namespace mdf
