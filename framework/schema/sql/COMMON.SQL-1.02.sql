DECLARE EXTERNAL FUNCTION SUBSTR
  CSTRING(80), SMALLINT, SMALLINT
  RETURNS CSTRING(80) FREE_IT
  ENTRY_POINT 'IB_UDF_substr' MODULE_NAME 'ib_udf';
DECLARE EXTERNAL FUNCTION STRLEN
  CSTRING(32767)
  RETURNS INTEGER BY VALUE
  ENTRY_POINT 'IB_UDF_strlen' MODULE_NAME 'ib_udf';
DECLARE EXTERNAL FUNCTION LTRIM
  CSTRING(80)
  RETURNS CSTRING(80) FREE_IT
  ENTRY_POINT 'IB_UDF_ltrim' MODULE_NAME 'ib_udf';
alter table CLIENTE
  add CODIGO varchar(8),
  add CNPJ_CPF varchar(15),
  add RESP varchar(35),
  add RG_RESP varchar(10),
  add TEL_DDD varchar(3),
  add FAX_DDD varchar(3),
  add CEL_DDD varchar(3),
  add OBSERVACOES blob sub_type 1;
alter table CLIENTE
  alter INSCRICAO_ESTADUAL to IE_RG,
  alter IMPRIMIR_NOTA_FISCAL to IMP_NF,
  alter TELEFONE to TEL,
  alter CELULAR to CEL;
alter table CLIENTE
  alter TEL type varchar(12),
  alter FAX type varchar(12),
  alter CEL type varchar(12);
/* The server refuses calls to external functions, so the copy uses built-ins that give the same values. */
update CLIENTE set
  CODIGO = lpad(ID, 8, '0'),
  CNPJ_CPF = substring(DOCUMENTO from 1 for 15),
  RESP = substring(RESPONSAVEL from 1 for 35),
  RG_RESP = substring(RG from 1 for 10),
  TEL_DDD = case when TELEFONEDDD > 99 then cast(TELEFONEDDD as varchar(3)) else ' ' || TELEFONEDDD end,
  FAX_DDD = case when FAXDDD > 99 then cast(FAXDDD as varchar(3)) else ' ' || FAXDDD end,
  CEL_DDD = case when CELULARDDD > 99 then cast(CELULARDDD as varchar(3)) else ' ' || CELULARDDD end;
alter table CLIENTE
  drop DOCUMENTO,
  drop RESPONSAVEL,
  drop RG,
  drop TELEFONEDDD,
  drop FAXDDD,
  drop CELULARDDD;
alter table CLIENTE alter CODIGO position 2;
alter table CLIENTE alter CNPJ_CPF position 5;
alter table CLIENTE alter RESP position 8;
alter table CLIENTE alter RG_RESP position 9;
alter table CLIENTE alter TEL_DDD position 17;
alter table CLIENTE alter FAX_DDD position 19;
alter table CLIENTE alter CEL_DDD position 21;
commit work;
create unique index CLIENTE_01 on CLIENTE (CODIGO);
commit work;
update VERSAO set NUMERO = '1.02' where ID = 1;
commit work;
