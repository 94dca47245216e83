// fenwright-pack: makes what the installer reads, for publishers and for trying the installer by hand.
//
//   fenwright-pack payload PRIVATE-KEY.pem FILE PAYLOAD     sign, pack and sign FILE into PAYLOAD
//   fenwright-pack block BLOCK SOURCE NAME [SOURCE NAME...]  write a shared block listing payloads to a file
//   fenwright-pack run FENWRIGHT.exe SOURCE NAME [...]       offer such a block as the host does, start the
//                                                            installer with -i and wait for it
#include <stdio.h>
#include <string.h>

#include <windows.h>

#include "packing.h"

namespace {

int Usage()
{
    fprintf(stderr,
            "usage: fenwright-pack payload PRIVATE-KEY.pem FILE PAYLOAD\n"
            "       fenwright-pack block BLOCK SOURCE NAME [SOURCE NAME...]\n"
            "       fenwright-pack run FENWRIGHT.exe SOURCE NAME [SOURCE NAME...]\n"
            "SOURCE is the payload's path as the installer will open it (best absolute); NAME is where its\n"
            "content goes, relative to the system directory's Harrowfen\\Ostrelin\\ folder.\n");
    return 2;
}

int MakePayloadFile(const char* keyPath, const char* filePath, const char* payloadPath)
{
    fwpack::Bytes key, file;
    if (!fwpack::ReadFileBytes(keyPath, key) || !fwpack::ReadFileBytes(filePath, file)) {
        fprintf(stderr, "fenwright-pack: cannot read %s or %s\n", keyPath, filePath);
        return 1;
    }
    fwpack::Signer signer;
    if (!signer.Load(std::string(key.begin(), key.end()))) {
        fprintf(stderr, "fenwright-pack: %s is not an unencrypted RSA private key\n", keyPath);
        return 1;
    }
    if (file.size() + 128 >= 16000000) {
        fprintf(stderr, "fenwright-pack: %s is too large (the installer takes less than 15999872 bytes)\n", filePath);
        return 1;
    }
    fwpack::Bytes payload = fwpack::MakePayload(signer, file);
    if (payload.empty()) {
        fprintf(stderr, "fenwright-pack: signing failed (the key must be 1024 bits long)\n");
        return 1;
    }
    if (!fwpack::WriteFileBytes(payloadPath, payload)) {
        fprintf(stderr, "fenwright-pack: cannot write %s\n", payloadPath);
        return 1;
    }
    return 0;
}

std::vector<std::pair<std::string, std::string>> Pairs(int argc, char** argv, int first)
{
    std::vector<std::pair<std::string, std::string>> entries;
    for (int i = first; i + 1 < argc; i += 2)
        entries.emplace_back(argv[i], argv[i + 1]);
    return entries;
}

int RunInstaller(const char* installer, const fwpack::Bytes& block)
{
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, DWORD(block.size()),
                                        "OUShFile4a");
    if (!mapping) {
        fprintf(stderr, "fenwright-pack: cannot create the shared block (%lu)\n", GetLastError());
        return 1;
    }
    void* view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0);
    if (!view) {
        CloseHandle(mapping);
        return 1;
    }
    memcpy(view, block.data(), block.size());
    UnmapViewOfFile(view);
    std::string command = std::string("\"") + installer + "\" -i";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    int result = 1;
    if (CreateProcessA(installer, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        WaitForSingleObject(process.hProcess, INFINITE);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        result = 0;
    } else {
        fprintf(stderr, "fenwright-pack: cannot start %s (%lu)\n", installer, GetLastError());
    }
    CloseHandle(mapping);
    return result;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 5 && strcmp(argv[1], "payload") == 0)
        return MakePayloadFile(argv[2], argv[3], argv[4]);
    if (argc >= 5 && argc % 2 == 1 && strcmp(argv[1], "block") == 0) {
        if (!fwpack::WriteFileBytes(argv[2], fwpack::MakeBlock(Pairs(argc, argv, 3)))) {
            fprintf(stderr, "fenwright-pack: cannot write %s\n", argv[2]);
            return 1;
        }
        return 0;
    }
    if (argc >= 5 && argc % 2 == 1 && strcmp(argv[1], "run") == 0)
        return RunInstaller(argv[2], fwpack::MakeBlock(Pairs(argc, argv, 3)));
    return Usage();
}
