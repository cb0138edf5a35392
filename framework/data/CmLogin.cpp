#include "framework/data/CmLogin.h"

#include "framework/data/CmDBDataModule.h"
#include "framework/data/CmIBSQL.h"
#include "framework/data/DatabaseError.h"
#include "platform/Cp1252.h"
#include "platform/Format.h"
#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"
#include "platform/TextRules.h"

#include <QCoreApplication>

#include <openssl/evp.h>

#include <algorithm>

namespace {

constexpr size_t kUserNameLength = 10;

// The five bytes Windows-1252 leaves undefined. A scrambled name can land on them, so they
// travel as the C1 characters of the same number, the way Windows itself maps them.
bool IsUndefinedCp1252(unsigned char byte)
{
    return byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 || byte == 0x9D;
}

std::string BytesToUtf8(const std::string& bytes)
{
    std::string text;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (IsUndefinedCp1252(byte)) {
            text += static_cast<char>(0xC2);
            text += c;
        } else {
            text += platform::Cp1252ToUtf8Lossy(std::string_view(&c, 1));
        }
    }
    return text;
}

std::string Utf8ToBytes(const std::string& text)
{
    std::string bytes;
    for (size_t i = 0; i < text.size();) {
        const size_t length = std::max<size_t>(1, platform::Utf8SequenceLength(static_cast<unsigned char>(text[i])));
        const std::string_view character(text.data() + i, std::min(length, text.size() - i));
        if (character.size() == 2 && static_cast<unsigned char>(character[0]) == 0xC2 &&
            IsUndefinedCp1252(static_cast<unsigned char>(character[1]))) {
            bytes += character[1];
        } else {
            bytes += platform::Utf8ToCp1252Lossy(character);
        }
        i += character.size();
    }
    return bytes;
}

// À Á Â Ã Ä Ç È…Ï Ñ Ò…Ö Ù…Ü and their lower-case forms.
bool IsExempt(unsigned char code)
{
    const unsigned char upper = code >= 0xE0 ? static_cast<unsigned char>(code - 0x20) : code;
    if (upper < 0xC0 || upper > 0xDC) {
        return false;
    }
    return upper <= 0xC4 || (upper >= 0xC7 && upper <= 0xCF) || (upper >= 0xD1 && upper <= 0xD6) || upper >= 0xD9;
}

std::string ShiftCodes(const std::string& name, int step)
{
    std::string bytes = Utf8ToBytes(name);
    for (char& c : bytes) {
        const auto code = static_cast<unsigned char>(c);
        const bool shift =
            step > 0 ? !IsExempt(code) && !IsExempt(static_cast<unsigned char>(code + 1)) : !IsExempt(code);
        if (shift) {
            c = static_cast<char>(static_cast<unsigned char>(code + step));
        }
    }
    return BytesToUtf8(bytes);
}

std::vector<std::string> LoginTransactionParams()
{
    return {"read_committed", "rec_version", "nowait"};
}

} // namespace

namespace framework {

std::array<TModuleEntry, kModuleCount>& ModuleEntries()
{
    static std::array<TModuleEntry, kModuleCount> entries;
    return entries;
}

const TModuleEntry* ModuleEntry(int moduloId)
{
    if (moduloId < 1 || moduloId > kModuleCount) {
        return nullptr;
    }
    return &ModuleEntries()[static_cast<size_t>(moduloId - 1)];
}

std::string ModuleQuery(int moduloId)
{
    const std::string m = std::to_string(moduloId);
    return "select U.ID, U.PRIMEIRO_NOME, U.ULTIMO_NOME, U.SENHA, U.SUPERVISOR, U.DESATIVADO,  "
           "( select M.MODULO from MODULO M where M.ID = " +
        m +
        ") as MODULO  from USUARIO U where "
        "   ( U.USUARIO = :USUARIO) and "
        "   (( select count(UM.USUARIOID) from USUARIO_MODULO UM where "
        "UM.USUARIOID = U.ID and UM.MODULOID = " +
        m +
        " ) >= 1 ) and "
        "(   (( select count(UM2.USUARIOID) from USUARIO_MODULO UM2 where "
        "UM2.USUARIOID = U.SUPERVISORID and UM2.MODULOID = " +
        m +
        ") >= 1 ) or "
        "    (U.SUPERVISORID = 1)  )";
}

std::optional<LoginUser> FindModuleUser(TCmDatabase& database, TCmTransaction& transaction, const std::string& user,
                                        int moduloId)
{
    SqlStatement query(&database, &transaction);
    query.SetSQL(ModuleQuery(moduloId));
    query.SetParam("USUARIO", SqlValue::Text(user));
    query.ExecQuery();
    if (query.Eof()) {
        return std::nullopt;
    }
    LoginUser found;
    found.ID = static_cast<int>(query.FieldByName("ID").AsInteger());
    found.FirstName = query.FieldByName("PRIMEIRO_NOME").AsString();
    found.LastName = query.FieldByName("ULTIMO_NOME").AsString();
    found.Senha = std::string(platform::Trim(query.FieldByName("SENHA").AsString()));
    found.Supervisor = query.FieldByName("SUPERVISOR").AsString() == "T";
    found.Desativado = query.FieldByName("DESATIVADO").AsString() == "T";
    found.Modulo = query.FieldByName("MODULO").AsString();
    query.Close();
    return found;
}

LoginDecision DecideLogin(const std::optional<LoginUser>& user, const std::string& password)
{
    if (!user || user->ID <= 0 || user->Desativado) {
        return LoginDecision::Refused;
    }
    if (user->Senha.empty()) {
        return LoginDecision::NeedsPassword;
    }
    try {
        return user->Senha == PasswordDigest(password) ? LoginDecision::Accepted : LoginDecision::Refused;
    } catch (const platform::EncodingError&) {
        // No stored digest was made from a character the code page cannot hold.
        return LoginDecision::Refused;
    }
}

void StartSession(TCmSQLGlobals& globals, TCmDatabase& database, TCmTransaction& transaction,
                  const std::string& usuario, const LoginUser& user, int moduloId, bool keepAdministration)
{
    globals.SetUsuario(usuario);
    globals.SetUsuarioID(user.ID);
    globals.SetFirstName(user.FirstName);
    globals.SetLastName(user.LastName);
    globals.SetIsSupervisor(user.Supervisor);
    globals.SetModulo(user.Modulo);
    globals.SetModuloID(moduloId);

    SqlStatement modules(&database, &transaction);
    modules.SetSQL("select * from USUARIO_MODULO where USUARIOID = :USUARIOID order by MODULOID");
    modules.SetParam("USUARIOID", SqlValue::Integer(user.ID));
    globals.Modules().clear();
    for (modules.ExecQuery(); !modules.Eof(); modules.Next()) {
        const int64_t module = modules.FieldByName("MODULOID").AsInteger();
        if (keepAdministration || module != kAdministrationModuloID) {
            globals.Modules().push_back(std::to_string(module));
        }
    }
    modules.Close();
}

void StorePassword(TCmDatabase& database, TCmTransaction& transaction, int id, const std::string& password)
{
    SqlStatement update(&database, &transaction);
    update.SetSQL("update USUARIO set SENHA = :SENHA where ID = :ID");
    update.SetParam("SENHA", SqlValue::Text(PasswordDigest(password)));
    update.SetParam("ID", SqlValue::Integer(id));
    update.ExecQuery();
}

void GrantModule(TCmDatabase& database, TCmTransaction& transaction, const std::string& user, int moduloId)
{
    SqlStatement find(&database, &transaction);
    find.SetSQL("select ID from USUARIO where USUARIO = :USUARIO");
    find.SetParam("USUARIO", SqlValue::Text(user));
    find.ExecQuery();
    if (find.Eof()) {
        throw DatabaseError(platform::Format("O usuário \"%s\" não está cadastrado.", user));
    }
    const int64_t id = find.FieldByName("ID").AsInteger();
    find.Close();

    // TUDO = 'S', as every grant the family's programs made before routines existed.
    SqlStatement grant(&database, &transaction);
    grant.SetSQL("update or insert into USUARIO_MODULO (USUARIOID, MODULOID, TUDO) values (:USUARIOID, :MODULOID, "
                 "'S') matching (USUARIOID, MODULOID)");
    grant.SetParam("USUARIOID", SqlValue::Integer(id));
    grant.SetParam("MODULOID", SqlValue::Integer(moduloId));
    grant.ExecQuery();
}

std::string AutoLoginUser(const std::string& programFolder)
{
    try {
        const platform::IniFile ini(platform::JoinPath(programFolder, "connection.ini"));
        return ini.ReadString("AUTOLOGIN", "USER", "");
    } catch (const std::exception&) {
        return {};
    }
}

bool AutoLogin(TClsDBDataModule& module, const std::string& scrambledUser)
{
    const std::string usuario(platform::Utf8Left(UnscrambleUserName(scrambledUser), kUserNameLength));
    const int moduloId = ProgramModuloID();
    TCmTransaction transaction("trAutoLogin");
    transaction.SetDefaultDatabase(&module.dbMain());
    transaction.SetParams(LoginTransactionParams());
    try {
        transaction.StartTransaction();
        const std::optional<LoginUser> user = FindModuleUser(module.dbMain(), transaction, usuario, moduloId);
        const bool ok = user && user->ID > 0 && !user->Desativado;
        if (ok) {
            StartSession(module.CmSQLGlobals(), module.dbMain(), transaction, usuario, *user, moduloId, true);
        }
        transaction.Commit();
        return ok;
    } catch (const DatabaseError&) {
        // The dialog follows, and it reports what it finds itself.
        if (transaction.Active()) {
            transaction.Rollback();
        }
        return false;
    }
}

bool LoginAtStartup(TClsDBDataModule& module, const std::vector<std::string>& arguments,
                    const std::function<bool()>& showDialog)
{
    std::string candidate;
    if (ProgramModuloID() == 13) {
        if (arguments.size() >= 2 && platform::FileExists(arguments[1])) {
            candidate = AutoLoginUser(module.ProgramFolder());
        }
    } else if (arguments.size() >= 2) {
        candidate = arguments[1];
    }
    if (!candidate.empty() && AutoLogin(module, candidate)) {
        return true;
    }
    return showDialog();
}

} // namespace framework

std::string PasswordDigest(const std::string& password)
{
    const std::string bytes = platform::Utf8ToCp1252(password);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_md5(), nullptr) != 1) {
        throw std::runtime_error("Não foi possível calcular o resumo da senha.");
    }
    static const char* const kHex = "0123456789ABCDEF";
    std::string text;
    for (unsigned int i = 0; i < size; ++i) {
        text += kHex[digest[i] >> 4];
        text += kHex[digest[i] & 0x0F];
    }
    return text;
}

std::string ScrambleUserName(const std::string& name)
{
    return ShiftCodes(name, +1);
}

std::string UnscrambleUserName(const std::string& name)
{
    return ShiftCodes(name, -1);
}

bool LoginAtStartup(TClsDBDataModule& module)
{
    std::vector<std::string> arguments;
    for (const QString& argument : QCoreApplication::arguments()) {
        arguments.push_back(argument.toStdString());
    }
    return framework::LoginAtStartup(module, arguments,
                                     [&module] { return module.Ui() && module.Ui()->ShowLogin(module); });
}
