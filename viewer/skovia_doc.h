// The viewer's document: it holds only the path of the opened file, which the
// tree view reads through the file model; the views are the document's.
#pragma once

#include <string>
#include <vector>

#include <QPointer>
#include <QWidget>

// The absolute form of an ANSI path: relative to the working folder, "." and
// ".." taken out; an empty path stays empty.
std::string FullPath(const std::string& path);

class CSkoviaDoc {
 public:
  // The framework's new document: no path, the title "Unbenannt".
  bool OnNewDocument();
  // The framework's open with an empty serialisation: the file only has to
  // open for reading. On failure the framework's box is shown and the
  // document stays as it was.
  bool OnOpenDocument(const std::string& path);

  // Paths are ANSI, as the platform's file functions take them. The path is
  // kept absolute, so that it names the same file from any working folder.
  void SetPathName(const std::string& path);
  const std::string& GetPathName() const { return m_strPathName; }
  // The file name, as the frame's title shows it.
  const std::string& GetTitle() const { return m_strTitle; }

  void AddView(QWidget* view);
  std::vector<QWidget*> GetViews() const;

 private:
  std::string m_strPathName;
  std::string m_strTitle;
  std::vector<QPointer<QWidget>> m_views;
};
