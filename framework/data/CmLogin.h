#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class TClsDBDataModule;
class TCmDatabase;
class TCmSQLGlobals;
class TCmTransaction;

// One program of the maker's family: what the Módulos menu shows and which executable, in the
// program's folder, it starts.
struct TModuleEntry
{
    std::string Caption;
    std::string FileName;
};

namespace framework {

// The family's programs by module number − 1, filled by the program entry before the main
// form exists.
inline constexpr int kModuleCount = 20;
std::array<TModuleEntry, kModuleCount>& ModuleEntries();
// The entry of a module number; null outside 1..20.
const TModuleEntry* ModuleEntry(int moduloId);

// The module of user administration: the family's own, never offered by the dialog login.
inline constexpr int kAdministrationModuloID = 3;

// Where the login dialog remembers the last user.
inline constexpr const char* kRememberedUserKey = "\\Software\\Brevant\\Servers";

// A user as the module query returns it.
struct LoginUser
{
    int ID = 0;
    std::string FirstName;
    std::string LastName;
    std::string Senha; // the stored digest, trimmed; empty until the user sets a password
    bool Supervisor = false;
    bool Desativado = false;
    std::string Modulo; // the name of the program's module
};

// The user's row when the user, and the user's supervisor (or the administrator as supervisor),
// may use module `moduloId`.
std::string ModuleQuery(int moduloId);
std::optional<LoginUser> FindModuleUser(TCmDatabase& database, TCmTransaction& transaction, const std::string& user,
                                        int moduloId);

enum class LoginDecision
{
    Accepted,
    NeedsPassword, // a known user who has no password yet must choose one
    Refused,
};

// What the dialog does with a typed password. Deactivated users are refused whatever the
// password, also on the path that lets a user choose a first password.
LoginDecision DecideLogin(const std::optional<LoginUser>& user, const std::string& password);

// Fills the session with the logged-in user and reloads the user's module list in the
// transaction given; module 3 is kept or left out as asked.
void StartSession(TCmSQLGlobals& globals, TCmDatabase& database, TCmTransaction& transaction,
                  const std::string& usuario, const LoginUser& user, int moduloId, bool keepAdministration);

// Stores the digest of a new password for user `id`.
void StorePassword(TCmDatabase& database, TCmTransaction& transaction, int id, const std::string& password);

// Lets `user` use module `moduloId`; a grant already there is kept. Raises DatabaseError when
// the user does not exist.
void GrantModule(TCmDatabase& database, TCmTransaction& transaction, const std::string& user, int moduloId);

// The user of the unattended start, scrambled as written in connection.ini's AUTOLOGIN section;
// empty when there is none.
std::string AutoLoginUser(const std::string& programFolder);

// The unattended login, without password, of the user named (scrambled) on the command line
// or in connection.ini. True when the session was filled.
bool AutoLogin(TClsDBDataModule& module, const std::string& scrambledUser);

// The login step of the opening sequence: the unattended login when there is a candidate, the
// dialog (`showDialog`) otherwise or when that fails.
bool LoginAtStartup(TClsDBDataModule& module, const std::vector<std::string>& arguments,
                    const std::function<bool()>& showDialog);

} // namespace framework

// The MD5 digest of the password's Windows-1252 bytes as 32 upper-case hexadecimal digits. The
// digest stays unsalted and in this form because the family's other programs read and write
// the same USUARIO rows. Raises platform::EncodingError for characters outside the code page.
std::string PasswordDigest(const std::string& password);

// The light disguise a user name wears on another program's command line and in connection.ini.
// Accented letters keep their code. The family's other programs share the scheme, so it stays
// as it is, although a name holding a character just before an accented letter (¿ Æ Ð Ø ß æ ð
// ø) does not come back unchanged.
std::string ScrambleUserName(const std::string& name);
std::string UnscrambleUserName(const std::string& name);

// The program's login step with the real dialog and the process's command line; registered
// with the main data module by the program entry.
bool LoginAtStartup(TClsDBDataModule& module);
