alter table DADOS_EMPRESA
  add BINARIO blob sub_type 0,
  add BINARIO_EXT varchar(5);
alter table USUARIO add EMAIL varchar(128);
update VERSAO set NUMERO = '1.03' where ID = 1;
commit work;
