alter table CONTA_CORRENTE
  add USA_OUTRO_TITULAR char(1),
  add TITULAR_NOME varchar(50),
  add TITULAR_CNPJ varchar(20),
  add TITULAR_CCM varchar(20),
  add TITULAR_ENDERECO varchar(40),
  add TITULAR_NUMERO varchar(10),
  add TITULAR_COMPLEMENTO varchar(30),
  add TITULAR_BAIRRO varchar(40),
  add TITULAR_CIDADE varchar(40),
  add TITULAR_UF varchar(2),
  add TITULAR_CEP varchar(9),
  add TITULAR_DDD varchar(3),
  add TITULAR_TEL varchar(10),
  add TITULAR_FAXDDD varchar(3),
  add TITULAR_FAX varchar(10),
  add TITULAR_EMAIL varchar(255),
  add TITULAR_SITE varchar(255);
alter table USUARIO_MODULO add TUDO char(1);
create table ROTINA (
  ID integer not null,
  MODULOID integer,
  CTRL_INDEX integer,
  CTRL_INDEX_OWNER integer,
  NOME varchar(255),
  ATIVO integer,
  STATUS integer,
  constraint PK_ROTINA primary key (ID)
);
create generator GEN_ROTINA_ID;
commit work;
set term ^ ;
create trigger TG_ROTINA for ROTINA
active before insert position 0
as
begin
  if (new.ID is null) then
    new.ID = gen_id(GEN_ROTINA_ID, 1);
end^
set term ; ^
create table USUARIO_ROTINA (
  ID integer not null,
  USUARIOID integer,
  ROTINAID integer,
  STATUS integer,
  constraint PK_USUARIO_ROTINA primary key (ID)
);
create generator GEN_USUARIO_ROTINA_ID;
commit work;
set term ^ ;
create trigger TG_USUARIO_ROTINA for USUARIO_ROTINA
active before insert position 0
as
begin
  if (new.ID is null) then
    new.ID = gen_id(GEN_USUARIO_ROTINA_ID, 1);
end^
set term ; ^
update VERSAO set NUMERO = '1.07' where ID = 1;
commit work;
update USUARIO_MODULO set TUDO = 'S';
commit work;
