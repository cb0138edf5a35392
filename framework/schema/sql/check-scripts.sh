#!/usr/bin/env bash
# Builds scratch embedded Firebird databases from the schema scripts, in the order the program
# applies them, and checks the schema they produce.
#
# Usage: check-scripts.sh [--raw] [--keep]
#   --raw   feed the script files to isql-fb as they are, instead of the statements the
#           program's interpreter splits out of them (split-statements.py)
#   --keep  keep the scratch folder and print its path
#
# Needs isql-fb (firebird3.0-utils), iconv and python3. Embedded mode: no server, no password.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
raw=0
keep=0
for arg in "$@"; do
    case "$arg" in
        --raw) raw=1 ;;
        --keep) keep=1 ;;
        *) echo "usage: $0 [--raw] [--keep]" >&2; exit 2 ;;
    esac
done

work=$(mktemp -d "${TMPDIR:-/tmp}/notavia-schema.XXXXXX")
if [ "$keep" -eq 0 ]; then
    trap 'rm -rf "$work"' EXIT
fi
# Embedded Firebird run by a non-root user needs a lock folder of its own.
if [ "$(id -u)" -ne 0 ]; then
    export FIREBIRD_LOCK="$work/lock"
    mkdir -p "$FIREBIRD_LOCK"
fi

isql() { isql-fb -q -b -user SYSDBA "$@"; }

# The resource that the one-line script "RESOURCEFILE=<name>" stands for.
resource_file() {
    case "$1" in
        13NOTAVIANFSE101SQL) echo "$here/CIDADE_IBGE.sql" ;;
        *) echo "unknown resource $1" >&2; return 1 ;;
    esac
}

create_db() {
    printf "set sql dialect 3;\ncreate database '%s' user 'SYSDBA' page_size 4096;\ncommit;\n" "$1" \
        | isql-fb -q -b
}

# apply_script DB FILE: runs one script version the way the program does, then commits.
apply_script() {
    local db=$1 file=$2 first prepared
    first=$(head -n 1 "$file" | tr -d '\r')
    if [ "${first:0:12}" = "RESOURCEFILE" ]; then
        file=$(resource_file "${first#*=}")
    fi
    prepared="$work/$(basename "$file").cp1252"
    iconv -f UTF-8 -t CP1252 "$file" > "$prepared"
    if [ "$raw" -eq 0 ]; then
        python3 "$here/split-statements.py" "$prepared" > "$prepared.isql"
        prepared="$prepared.isql"
    fi
    printf 'commit;\n' >> "$prepared"
    if ! isql "$db" -i "$prepared" > "$work/apply.out" 2>&1; then
        echo "FAILED applying $(basename "$2"):" >&2
        cat "$work/apply.out" >&2
        exit 1
    fi
}

scripts=()
for f in "$here"/COMMON.SQL-*.sql; do scripts+=("$f"); done
for f in "$here"/NOTAVIA-NFSE.SQL-*.sql; do scripts+=("$f"); done

# sql DB TEXT: runs statements and prints the result rows, blanks squeezed, cp1252 shown as UTF-8.
sql() {
    printf 'set heading off;\n%s\n' "$2" | isql "$1" 2>&1 | iconv -f CP1252 -t UTF-8 \
        | sed -e 's/[[:space:]]\+/ /g' -e 's/^ //' -e 's/ $//' | grep -v '^$' || true
}

passed=0
failed=0
check() { # check NAME DB EXPECTED SQL
    local got
    got=$(sql "$2" "$4")
    if [ "$got" = "$3" ]; then
        passed=$((passed + 1))
        echo "ok - $1"
    else
        failed=$((failed + 1))
        echo "FAIL - $1"
        echo "  expected: $(printf '%s' "$3" | tr '\n' '|')"
        echo "  got:      $(printf '%s' "$got" | tr '\n' '|')"
    fi
}

# 1. A new database: every script in order.
db="$work/new.fdb"
create_db "$db"
for f in "${scripts[@]}"; do apply_script "$db" "$f"; done

echo "VERSAO:"
sql "$db" "select ID, SCRIPT, NUMERO from VERSAO order by ID;" | sed 's/^/  /'
echo "CIDADE_IBGE rows: $(sql "$db" "select count(*) from CIDADE_IBGE;")"

check "VERSAO rows" "$db" "1 COMMON.SQL 1.08
13 NOTAVIA-NFSE.SQL 1.04" "select ID, SCRIPT, NUMERO from VERSAO order by ID;"
check "5570 cities, unique 7-digit codes, 27 states" "$db" "5570 5570 5570 27" \
    "select count(*), count(distinct CODIGO_MUNICIPIO), sum(iif(char_length(CODIGO_MUNICIPIO) = 7, 1, 0)), count(distinct UF) from CIDADE_IBGE;"
check "city order: ascending codes, six appended" "$db" "5300108
1504752
2206720
4212650
4220000
4314548
5006275" "select CODIGO_MUNICIPIO from CIDADE_IBGE where ID > (select max(ID) - 7 from CIDADE_IBGE) order by ID;"
check "DF has only Brasília" "$db" "5300108 Brasília BRASILIA" \
    "select CODIGO_MUNICIPIO, NOME_CIDADE, NOME_CIDADE_LAYOUT from CIDADE_IBGE where UF = 'DF';"
check "city key keeps hyphen and apostrophe" "$db" "GUAJARA-MIRIM
ALTAFLORESTAD'OESTE" \
    "select NOME_CIDADE_LAYOUT from CIDADE_IBGE where CODIGO_MUNICIPIO in ('1100106', '1100015') order by CODIGO_MUNICIPIO desc;"
check "the two 1.04 corrections" "$db" "3515004 Embu das Artes EMBUDASARTES
3530805 Mogi Mirim MOGIMIRIM" \
    "select CODIGO_MUNICIPIO, NOME_CIDADE, NOME_CIDADE_LAYOUT from CIDADE_IBGE where CODIGO_MUNICIPIO in ('3530805', '3515004') order by 1;"
check "administrator, no password" "$db" "1 ADMIN Administrador Sistema T 1 EMPTY" \
    "select ID, USUARIO, PRIMEIRO_NOME, ULTIMO_NOME, SUPERVISOR, SUPERVISORID, iif(coalesce(SENHA, '') = '', 'EMPTY', SENHA) from USUARIO;"
check "modules and grants" "$db" "3
13
1 3 S" "select ID from MODULO order by ID; select USUARIOID, MODULOID, TUDO from USUARIO_MODULO;"
check "generators" "$db" "GEN_CIDADE_IBGE_ID 5570
GEN_USUARIO_ID 1" \
    "select 'GEN_CIDADE_IBGE_ID', gen_id(GEN_CIDADE_IBGE_ID, 0) from rdb\$database union all select 'GEN_USUARIO_ID', gen_id(GEN_USUARIO_ID, 0) from rdb\$database;"
check "pattern triggers" "$db" "TG_BANCO TG_CIDADE_IBGE TG_CLIENTE TG_CONTA_CORRENTE TG_FORNECEDOR TG_NFSE_RPS TG_PARAMETROS TG_PRODUTO TG_ROTINA TG_UNIDADE TG_USUARIO TG_USUARIO_LOG TG_USUARIO_ROTINA" \
    "select cast(list(trim(RDB\$TRIGGER_NAME), ' ') as varchar(1000)) from (select RDB\$TRIGGER_NAME from RDB\$TRIGGERS where RDB\$SYSTEM_FLAG = 0 and RDB\$TRIGGER_TYPE = 1 and RDB\$TRIGGER_SEQUENCE = 0 order by 1);"
check "external functions declared" "$db" "LTRIM STRLEN SUBSTR" \
    "select cast(list(trim(RDB\$FUNCTION_NAME), ' ') as varchar(1000)) from (select RDB\$FUNCTION_NAME from RDB\$FUNCTIONS where RDB\$SYSTEM_FLAG = 0 order by 1);"
check "indexes" "$db" "CLIENTE_01 1 CODIGO
IXC_FORNECEDOR_CODIGO 0 CODIGO
IXC_USUARIO_LOG_01 0 FORMNAME,TABLEID,DATA,HORA
USUARIO_01 1 USUARIO" \
    "select trim(I.RDB\$INDEX_NAME), coalesce(I.RDB\$UNIQUE_FLAG, 0), (select cast(list(trim(S.RDB\$FIELD_NAME), ',') as varchar(1000)) from (select RDB\$FIELD_NAME from RDB\$INDEX_SEGMENTS X where X.RDB\$INDEX_NAME = I.RDB\$INDEX_NAME order by X.RDB\$FIELD_POSITION) S) from RDB\$INDICES I where I.RDB\$INDEX_NAME in ('CLIENTE_01', 'IXC_FORNECEDOR_CODIGO', 'IXC_USUARIO_LOG_01', 'USUARIO_01') order by 1;"
check "foreign keys and their rules" "$db" "FK_CLIENTE_USUARIO CASCADE RESTRICT
FK_CONTA_CORRENTE_BANCO CASCADE RESTRICT
FK_PRODUTO_FABRICANTE CASCADE RESTRICT
FK_PRODUTO_UNIDADE CASCADE RESTRICT
FK_USUARIO_LOG_USUARIO CASCADE CASCADE" \
    "select trim(RDB\$CONSTRAINT_NAME), trim(RDB\$UPDATE_RULE), trim(RDB\$DELETE_RULE) from RDB\$REF_CONSTRAINTS order by 1;"
check "CLIENTE columns in order" "$db" "ID,CODIGO,NOME,FANTASIA,CNPJ_CPF,IE_RG,CCM,RESP,RG_RESP,ENDERECO,NUMERO,COMPLEMENTO,BAIRRO,CIDADE,UF,CEP,TEL_DDD,TEL,FAX_DDD,FAX,CEL_DDD,CEL,TIPOPESSOA,IMP_NF,EMAIL,PAGINA,SIMPLES,OBSERVACOES,PST_ENDERECO,PST_NUMERO,PST_COMPLEMENTO,PST_BAIRRO,PST_CIDADE,PST_UF,PST_CEP,DESATIVACAO_DATA,DESATIVACAO_PORID,NOTAVIA_CNAE,NOTAVIA_REG_ESP,NOTAVIA_OPTANTE_SIMPLES,NOTAVIA_PARAMETROS" \
    "select cast(list(trim(RDB\$FIELD_NAME), ',') as varchar(2000)) from (select RDB\$FIELD_NAME from RDB\$RELATION_FIELDS where RDB\$RELATION_NAME = 'CLIENTE' order by RDB\$FIELD_POSITION);"
check "NFSE_RPS has 65 columns" "$db" "65" \
    "select count(*) from RDB\$RELATION_FIELDS where RDB\$RELATION_NAME = 'NFSE_RPS';"

check "explicit ID kept, generator not advanced; null ID filled" "$db" "500 0
1" "insert into UNIDADE (ID, SIGLA, TITULO) values (500, 'CX', 'Caixa');
select ID, gen_id(GEN_UNIDADE_ID, 0) from UNIDADE;
insert into UNIDADE (SIGLA, TITULO) values ('UN', 'Unidade');
select ID from UNIDADE where SIGLA = 'UN';
commit;"
check "BANCO and CONTA_CORRENTE: ID from generator, bank number cascades" "$db" "1 1 341 0001 12345-6 12345-6" \
    "insert into BANCO (BANCO, NOME) values (237, 'Bradesco');
insert into CONTA_CORRENTE (BANCO, NUM_AGENCIA, NUM_CONTA) values (237, '0001', '12345-6');
update BANCO set BANCO = 341 where BANCO = 237;
update CONTA_CORRENTE set CODIGO_CEDENTE = NUM_CONTA;
select B.ID, C.ID, C.BANCO, C.NUM_AGENCIA, C.NUM_CONTA, C.CODIGO_CEDENTE from CONTA_CORRENTE C join BANCO B on B.BANCO = C.BANCO;
commit;"
check "USUARIO_LOG gets the server's date and time" "$db" "1 1" \
    "insert into USUARIO_LOG (USUARIOID, DATA, HORA, LOG) values (1, date '2001-02-03', time '04:05:06', 'x');
select ID, iif(DATA = current_date and HORA <> time '04:05:06', 1, 0) from USUARIO_LOG;
commit;"
check "user id change and deletion cascade" "$db" "7 7
0 0" "insert into USUARIO (USUARIO) values ('ANA');
insert into USUARIO_LOG (USUARIOID, LOG) values (2, 'y');
insert into CLIENTE (NOME, DESATIVACAO_PORID) values ('Cliente', 2);
update USUARIO set ID = 7 where ID = 2;
select (select USUARIOID from USUARIO_LOG where LOG = 'y'), (select DESATIVACAO_PORID from CLIENTE) from rdb\$database;
update CLIENTE set DESATIVACAO_PORID = null;
delete from USUARIO where ID = 7;
select (select count(*) from USUARIO_LOG where LOG = 'y'), (select count(*) from USUARIO where ID = 7) from rdb\$database;
commit;"
check "GETPARAMS: never stored gives one null row" "$db" "<null>" \
    "select VALOR from GETPARAMS('', '', '', 'NADA', 0, 0);"
check "SETPARAMS stores then updates; GETPARAMS reads it" "$db" "B 1" \
    "execute procedure SETPARAMS('', '', '', 'PAR', 0, 0, 'A');
execute procedure SETPARAMS('', '', '', 'PAR', 0, 0, 'B');
select VALOR, (select count(*) from PARAMETROS where PARAMETRO = 'PAR') from GETPARAMS('', '', '', 'PAR', 0, 0);
commit;"
check "GETPARAMS with two matching rows reads the newest" "$db" "NOVO" \
    "insert into PARAMETROS (USUARIO, MODULO, PARAMETRO, ANO, MES, VALOR) values ('', '', 'DUP', 0, 0, 'VELHO');
insert into PARAMETROS (USUARIO, MODULO, PARAMETRO, ANO, MES, VALOR) values ('', '', 'DUP', 0, 0, 'NOVO');
select VALOR from GETPARAMS(null, '', '', 'DUP', 0, 0);
commit;"
check "parameter scoped by APELIDO, user and module" "$db" "<null>
U" "execute procedure SETPARAMS('EMP', 'JOAO', 'M13', 'X', 0, 0, 'U');
select VALOR from GETPARAMS('', 'JOAO', 'M13', 'X', 0, 0);
select VALOR from GETPARAMS('EMP', 'JOAO', 'M13', 'X', 0, 0);
commit;"

# 2. An old database: clients stored before the 1.02 reshaping, then every later script.
old="$work/old.fdb"
create_db "$old"
for f in "${scripts[@]}"; do
    case "$(basename "$f")" in
        COMMON.SQL-1.02.sql)
            printf '%s\n' "insert into CLIENTE (ID, NOME, DOCUMENTO, RESPONSAVEL, RG, TELEFONEDDD, FAXDDD, CELULARDDD, INSCRICAO_ESTADUAL, TELEFONE, CELULAR, IMPRIMIR_NOTA_FISCAL)
values (7, 'Sete', '12.345.678/0001-90', 'Responsavel com um nome bem comprido demais', '12.345.678-9X', 11, 7, 123, '111.222.333', '5555-1234', '99999-8888', 'S');
insert into CLIENTE (ID, NOME) values (12345678, 'Sem dados');
insert into CLIENTE (NOME, TELEFONEDDD) values ('Pelo gerador', 0);
commit;" | isql "$old" > "$work/fixture.out" 2>&1 || { cat "$work/fixture.out" >&2; exit 1; }
            ;;
    esac
    apply_script "$old" "$f"
done
check "1.02 reshaping of stored clients" "$old" "1 00000001 <null> <null> <null> 0 <null> <null> <null> <null> <null> <null>
7 00000007 12.345.678/0001 Responsavel com um nome bem comprid 12.345.678 11 7 123 111.222.333 5555-1234 99999-8888 S
12345678 12345678 <null> <null> <null> <null> <null> <null> <null> <null> <null> <null>" \
    "select ID, CODIGO, CNPJ_CPF, RESP, RG_RESP, TEL_DDD, FAX_DDD, CEL_DDD, IE_RG, TEL, CEL, IMP_NF from CLIENTE order by ID;"
check "1.02 area codes keep their leading blank" "$old" "[ 11] [ 7] [123]
[ 0]" "select '[' || TEL_DDD || ']', '[' || FAX_DDD || ']', '[' || CEL_DDD || ']' from CLIENTE where ID = 7;
select '[' || TEL_DDD || ']' from CLIENTE where ID = 1;"
check "old database reaches the same versions" "$old" "1 COMMON.SQL 1.08
13 NOTAVIA-NFSE.SQL 1.04" "select ID, SCRIPT, NUMERO from VERSAO order by ID;"

if [ "$keep" -eq 1 ]; then
    echo "databases kept in $work"
fi
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
