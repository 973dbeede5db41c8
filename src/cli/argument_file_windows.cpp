// sf:/xf: files on Windows, through the C runtime's wide-character calls (the words are UTF-8):
// looked at before opening, opened in binary mode so line ends reach the word as they are in the
// file, and looked at again once open.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <cstring>

#include "cli/argument_file.h"
#include "cli/wide_path_windows.h"

namespace pelmo::cli {

std::string read_argument_file(std::string_view path) {
  const std::wstring name = wide_path(path);
  if (name.find(L'\0') != std::wstring::npos) refuse_argument_file(path, std::strerror(ENOENT));
  struct _stat64 info {};
  if (::_wstat64(name.c_str(), &info) != 0) refuse_argument_file(path, std::strerror(errno));
  if ((info.st_mode & _S_IFMT) != _S_IFREG) refuse_not_regular_file(path);
  const int fd = ::_wopen(name.c_str(), _O_RDONLY | _O_BINARY);
  if (fd < 0) refuse_argument_file(path, std::strerror(errno));
  struct Closer {
    int fd;
    ~Closer() { ::_close(fd); }
  } closer{fd};
  if (::_fstat64(fd, &info) != 0 || (info.st_mode & _S_IFMT) != _S_IFREG) {
    refuse_not_regular_file(path);
  }
  return read_capped(
      path, static_cast<std::uintmax_t>(info.st_size),
      [&](char* into, std::size_t room) -> std::int64_t {
        return ::_read(fd, into, static_cast<unsigned>(room));
      },
      [] { return std::string(std::strerror(errno)); });
}

}  // namespace pelmo::cli
