#include "acquisition/cabinet_writer.h"

#include <libgcab.h>

#include <memory>
#include <system_error>

#include "foundation/writer_lock.h"

namespace vorn {
namespace {

struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
template <class T> using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

struct GErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};

// Writes the archive to `path`; the caller decides what becomes of the file.
bool WriteArchive(const std::filesystem::path& path, const std::string& innerName,
                  const std::filesystem::path& source, bool compress) {
    GError* rawError = nullptr;
    auto failed = [&rawError] {
        std::unique_ptr<GError, GErrorFree> error(rawError);
        rawError = nullptr;
        return false;
    };

    GObjectPtr<GFile> input(g_file_new_for_path(source.c_str()));
    GObjectPtr<GCabFile> file(gcab_file_new_with_file(innerName.c_str(), input.get()));
    GObjectPtr<GCabFolder> folder(
        gcab_folder_new(compress ? GCAB_COMPRESSION_MSZIP : GCAB_COMPRESSION_NONE));
    if (!input || !file || !folder)
        return false;
    if (!gcab_folder_add_file(folder.get(), file.get(), FALSE, nullptr, &rawError))
        return failed();
    GObjectPtr<GCabCabinet> archive(gcab_cabinet_new());
    if (!archive || !gcab_cabinet_add_folder(archive.get(), folder.get(), &rawError))
        return failed();

    GObjectPtr<GFile> output(g_file_new_for_path(path.c_str()));
    GObjectPtr<GFileOutputStream> stream(g_file_replace(
        output.get(), nullptr, FALSE, G_FILE_CREATE_REPLACE_DESTINATION, nullptr, &rawError));
    if (!stream)
        return failed();
    const bool written = gcab_cabinet_write_simple(archive.get(), G_OUTPUT_STREAM(stream.get()),
                                                   nullptr, nullptr, nullptr, &rawError);
    if (!written)
        failed();
    const bool closed = g_output_stream_close(G_OUTPUT_STREAM(stream.get()), nullptr, &rawError);
    if (!closed)
        failed();
    return written && closed;
}

} // namespace

bool WriteCabinet(const std::filesystem::path& cabinet, const std::string& innerName,
                  const std::filesystem::path& source, bool compress) {
    std::error_code error;
    if (innerName.empty() || !std::filesystem::is_regular_file(source, error))
        return false;
    std::filesystem::path partial = cabinet;
    partial += ".part";
    const CTemporaryRegistration registered(partial);
    if (!WriteArchive(partial, innerName, source, compress)) {
        std::filesystem::remove(partial, error);
        return false;
    }
    std::filesystem::rename(partial, cabinet, error);
    if (error) {
        std::filesystem::remove(partial, error);
        return false;
    }
    return true;
}

} // namespace vorn
